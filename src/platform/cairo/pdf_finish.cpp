#include "platform/cairo/pdf_finish.h"

#include <exception>
#include <memory>
#include <new>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <set>
#include <utility>

namespace tolv {
namespace {

// Whether drawing with `resources` can produce anything but opaque paint. Forms, patterns and
// Type 3 fonts are followed into their own resources; `seen` stops a form that refers to itself.
bool UsesTransparency(QPDFObjectHandle resources, std::set<QPDFObjGen>& seen) {
  if (!resources.isDictionary()) return false;
  if (resources.isIndirect() && !seen.insert(resources.getObjGen()).second) return false;

  QPDFObjectHandle states = resources.getKey("/ExtGState");
  if (states.isDictionary()) {
    for (const std::string& key : states.getKeys()) {
      QPDFObjectHandle state = states.getKey(key);
      if (!state.isDictionary()) continue;
      QPDFObjectHandle smask = state.getKey("/SMask");
      if (!smask.isNull() && !(smask.isName() && smask.getName() == "/None")) return true;
      for (const char* alpha : {"/CA", "/ca"}) {
        QPDFObjectHandle a = state.getKey(alpha);
        if (a.isNumber() && a.getNumericValue() < 1.0) return true;
      }
      QPDFObjectHandle blend = state.getKey("/BM");
      if (!blend.isNull() &&
          !(blend.isName() && (blend.getName() == "/Normal" || blend.getName() == "/Compatible"))) {
        return true;
      }
    }
  }

  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (xobjects.isDictionary()) {
    for (const std::string& key : xobjects.getKeys()) {
      QPDFObjectHandle xobject = xobjects.getKey(key);
      if (!xobject.isStream()) continue;
      QPDFObjectHandle dict = xobject.getDict();
      if (dict.hasKey("/SMask") || dict.hasKey("/SMaskInData")) return true;
      if (!seen.insert(xobject.getObjGen()).second) continue;
      if (UsesTransparency(dict.getKey("/Resources"), seen)) return true;
    }
  }

  // Type 3 fonts (Cairo's for bitmap and colour glyphs) draw their glyphs with resources of
  // their own.
  QPDFObjectHandle fonts = resources.getKey("/Font");
  if (fonts.isDictionary()) {
    for (const std::string& key : fonts.getKeys()) {
      QPDFObjectHandle font = fonts.getKey(key);
      if (!font.isDictionary() || !font.getKey("/Subtype").isNameAndEquals("/Type3")) continue;
      if (UsesTransparency(font.getKey("/Resources"), seen)) return true;
    }
  }

  QPDFObjectHandle patterns = resources.getKey("/Pattern");
  if (patterns.isDictionary()) {
    for (const std::string& key : patterns.getKeys()) {
      QPDFObjectHandle pattern = patterns.getKey(key);
      QPDFObjectHandle dict = pattern.isStream() ? pattern.getDict() : pattern;
      if (!dict.isDictionary()) continue;
      if (UsesTransparency(dict.getKey("/Resources"), seen)) return true;
      QPDFObjectHandle state = dict.getKey("/ExtGState");
      if (state.isDictionary()) {
        // A shading pattern's own graphics state: judged as a resource dictionary holding it.
        QPDFObjectHandle holder = QPDFObjectHandle::newDictionary();
        QPDFObjectHandle one = QPDFObjectHandle::newDictionary();
        one.replaceKey("/S", state);
        holder.replaceKey("/ExtGState", one);
        if (UsesTransparency(holder, seen)) return true;
      }
    }
  }
  return false;
}

// The rewritten document straight into one string, made as large as the input at the start: the
// writer's own memory output grows by doubling and is then copied twice, which for a document of
// a large picture costs several times its size.
class StringOutput : public Pipeline {
 public:
  StringOutput(std::string& out, size_t expected) : Pipeline("print document", nullptr), out_(out) {
    out_.reserve(expected);
  }
  void write(unsigned char const* data, size_t length) override {
    out_.append(reinterpret_cast<const char*>(data), length);
  }
  void finish() override {}

 private:
  std::string& out_;
};

std::string Rewrite(const std::string& pdf) {
  QPDF document;
  document.setSuppressWarnings(true);
  document.processMemoryFile("print document", pdf.data(), pdf.size());

  for (QPDFObjectHandle page : document.getAllPages()) {
    std::set<QPDFObjGen> seen;
    QPDFPageObjectHelper helper(page);
    if (!UsesTransparency(helper.getAttribute("/Resources", false), seen)) {
      page.removeKey("/Group");
    }
  }

  QPDFObjectHandle root = document.getRoot();
  QPDFObjectHandle preferences = root.getKey("/ViewerPreferences");
  if (!preferences.isDictionary()) {
    preferences = QPDFObjectHandle::newDictionary();
    root.replaceKey("/ViewerPreferences", preferences);
  }
  preferences.replaceKey("/PrintScaling", QPDFObjectHandle::newName("/None"));

  std::string finished;
  // Only a few hundred bytes are added; removed groups make it smaller.
  StringOutput output(finished, pdf.size() + 4096);
  QPDFWriter writer(document);
  writer.setOutputPipeline(&output);
  // Streams go out as Cairo wrote them: nothing decoded, nothing compressed anew.
  writer.setDecodeLevel(qpdf_dl_none);
  writer.setCompressStreams(false);
  writer.setMinimumPDFVersion("1.6");
  writer.write();
  return finished;
}

}  // namespace

std::string FinishPdfForPrinting(std::string pdf) {
  try {
    return Rewrite(pdf);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // qpdf could not read it: hand it over as it is.
    return pdf;
  }
}

}  // namespace tolv
