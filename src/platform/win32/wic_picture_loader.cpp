#include "platform/win32/wic_picture_loader.h"

#include <wincodec.h>
#include <windows.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "picture/picture_format.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

[[noreturn]] void Unreadable(const char* what) {
  throw RuntimeError(ErrorKind::kFileNotFound, std::string("picture unreadable: ") + what);
}

// Releases a COM interface on every way out.
template <class T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_ != nullptr) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** Out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }

 private:
  T* p_ = nullptr;
};

// COM for this thread, once; WIC's factory is apartment-neutral.
void InitCom() {
  static const HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  (void)result;  // S_FALSE or RPC_E_CHANGED_MODE: COM is there already, which is as good
}

void Check(HRESULT result, const char* what) {
  if (FAILED(result)) Unreadable(what);
}

}  // namespace

PicturePtr DecodePictureWic(std::string_view bytes) {
  // The shared rules first: the format from the content, a cut file refused (a decoder may hand
  // back its missing rows as pixels), and a plain BMP read exactly as on every machine.
  CheckPictureBytes(bytes);
  if (PicturePtr plain = DecodePlainBmp(bytes)) return plain;
  if (bytes.size() > std::numeric_limits<DWORD>::max()) Unreadable("size");
  InitCom();
  Com<IWICImagingFactory> factory;
  Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out())),
        "no imaging component");
  Com<IWICStream> stream;
  Check(factory->CreateStream(stream.Out()), "stream");
  Check(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                     static_cast<DWORD>(bytes.size())),
        "stream");
  Com<IWICBitmapDecoder> decoder;
  Check(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                         decoder.Out()),
        "unknown or damaged format");
  Com<IWICBitmapFrameDecode> frame;
  Check(decoder->GetFrame(0, frame.Out()), "no image");
  UINT width = 0;
  UINT height = 0;
  Check(frame->GetSize(&width, &height), "size");
  if (width == 0 || height == 0) Unreadable("empty");
  CheckPictureSize(width, height);
  Com<IWICBitmapSource> converted;
  Check(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(), converted.Out()),
        "conversion");
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  Check(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                              reinterpret_cast<BYTE*>(pixels.data())),
        "damaged pixels");
  // BGRA in memory is 0xAARRGGBB; transparent parts are shown over white.
  for (uint32_t& p : pixels) {
    const uint32_t a = p >> 24;
    if (a == 0xFF) continue;
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const uint32_t c = (p >> shift) & 0xFF;
      out |= ((c * a + 0xFF * (0xFF - a) + 127) / 0xFF) << shift;
    }
    p = out;
  }
  return std::make_shared<const Picture>(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                         std::move(pixels));
}

PicturePtr LoadPictureWic(const std::string& path) {
  return DecodePictureWic(ReadPictureFile(path));
}

}  // namespace tolv
