// The picture-box contract's drawing and what every backend must show of it; the recording
// backend joins here.
#include "surface/picture_box_contract.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/recording/recording.h"
#include "runtime/runtime.h"
#include "surface/scale.h"

namespace tolv::testing {
namespace {

constexpr uint32_t kPaper = 0xFFFFFFFF;
constexpr uint32_t kRow = 0xFF123456;

TEST_P(PictureBoxContractTest, PicturesRowsAndCoordinateLimitsAreTheSame) {
  PictureBoxDesign design;
  design.name = "Picture1";
  design.width = 40 * 15;  // twips: 40 x 30 pixels
  design.height = 30 * 15;
  design.font_name = U"DejaVu Sans";
  design.font_size = 10;
  std::unique_ptr<PictureBox> box = GetParam().make(design);
  // Red, green, blue / black, white, grey.
  box->SetPicture(
      std::make_shared<Picture>(3, 2,
                                std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                                      0xFF000000, 0xFFFFFFFF, 0xFF808080}));
  box->SetScaleMode(kScalePixels);

  // Text past the device's coordinates raises an overflow when it would be drawn, and draws
  // nothing; without AutoRedraw nothing is drawn and nothing raises.
  box->SetCurrentX(9e6f);
  EXPECT_NO_THROW(box->Print(U"far"));
  box->SetAutoRedraw(true);
  const float limit = static_cast<float>(kMaxDeviceCoordinate);  // 2^23 as a float: just past it
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const auto& [x, y] : {std::pair{limit + 1, 5.0f}, std::pair{-limit - 1, 5.0f},
                             std::pair{5.0f, limit + 1}, std::pair{nan, 5.0f}}) {
    SCOPED_TRACE(::testing::Message() << x << ", " << y);
    box->SetCurrentX(x);
    box->SetCurrentY(y);
    try {
      box->Print(U"far");
      ADD_FAILURE() << "printed";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kOverflow);
    }
  }
  const std::vector<uint32_t> row(40, kRow);
  EXPECT_EQ(box->SetImageRows(20, 1, row.data(), 40), 1);

  const PicturePtr image = box->Image();
  ASSERT_EQ(image->width(), 40);
  ASSERT_EQ(image->height(), 30);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const uint32_t expected =
          y == 20 ? kRow : (x < 3 && y < 2 ? box->Picture()->pixel(x, y) : kPaper);
      ASSERT_EQ(image->pixel(x, y), expected) << x << ", " << y;
    }
  }

  // Printed into a smaller box, its top-left corner.
  design.name = "Picture2";
  design.width = 4 * 15;
  design.height = 21 * 15;
  std::unique_ptr<PictureBox> target = GetParam().make(design);
  target->SetAutoRedraw(true);
  box->PrintContentInto(*target);
  const PicturePtr copied = target->Image();
  ASSERT_EQ(copied->width(), 4);
  ASSERT_EQ(copied->height(), 21);
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 4; ++x)
      ASSERT_EQ(copied->pixel(x, y), image->pixel(x, y)) << x << ", " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Recording, PictureBoxContractTest,
                         ::testing::Values(PictureBoxFactory{
                             "Recording",
                             [](const PictureBoxDesign& design) -> std::unique_ptr<PictureBox> {
                               static recording::Log log;  // outlives every box
                               return std::make_unique<recording::RecordingPictureBox>(
                                   design, recording::TextMetrics{}, log);
                             }}),
                         PictureBoxFactoryName);

}  // namespace
}  // namespace tolv::testing
