// A proof: the run as it would print, with the form's picture (KORDEL<n>A.GFX) drawn under the
// text wherever a page driver places the form, in every output mode (the fixed grid of output
// mode 3 too, whose stationery is otherwise expected on the paper), and a small "proof" mark at
// the page's bottom-left corner, so that every character can be checked over its box on screen or
// on plain paper.
#ifndef TOLV_STARTUP_PROOF_H_
#define TOLV_STARTUP_PROOF_H_

#include <set>

#include "job/run_trace.h"

namespace tolv {

class ProofTrace : public RunTrace {
 public:
  void FormPlaced(TolvForm& form, int32_t x, int32_t y, int32_t width, int32_t height) override;

 private:
  void DrawProof(TolvForm& form, int32_t x, int32_t y, int32_t width, int32_t height);

  std::set<int> marked_pages_;
};

}  // namespace tolv

#endif  // TOLV_STARTUP_PROOF_H_
