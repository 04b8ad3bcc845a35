// The picture-box contract: one drawing, run on every picture-box backend (the recorder, Cairo,
// GDI), must give the same pixels of the shown picture, of rows set and of content printed into
// another box, and the same run-time errors at the same steps: the rules are the picture-box
// core's, whatever draws the text.
//
// A backend joins by instantiating PictureBoxContractTest with a factory of its boxes.
#ifndef TOLV_TESTS_SURFACE_PICTURE_BOX_CONTRACT_H_
#define TOLV_TESTS_SURFACE_PICTURE_BOX_CONTRACT_H_

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "surface/drawing_surface.h"

namespace tolv::testing {

struct PictureBoxFactory {
  std::string name;
  std::function<std::unique_ptr<PictureBox>(const PictureBoxDesign& design)> make;
};

// gtest prints a test's parameter by its bytes unless told otherwise.
inline void PrintTo(const PictureBoxFactory& factory, std::ostream* os) { *os << factory.name; }

class PictureBoxContractTest : public ::testing::TestWithParam<PictureBoxFactory> {};

inline std::string PictureBoxFactoryName(const ::testing::TestParamInfo<PictureBoxFactory>& info) {
  return info.param.name;
}

}  // namespace tolv::testing

#endif  // TOLV_TESTS_SURFACE_PICTURE_BOX_CONTRACT_H_
