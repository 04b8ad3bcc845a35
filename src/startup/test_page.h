// tolv --test-page N: the outline of form type N where a job of that form would be placed (output
// mode 2, offsets 25: centred), with millimetre rulers along its edges and crosshairs at its
// corners, both copies as a job places them. Laid over a pre-printed sheet against the light, it
// shows how far this printer's feed is off, which tolv.conf then corrects.
#ifndef TOLV_STARTUP_TEST_PAGE_H_
#define TOLV_STARTUP_TEST_PAGE_H_

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tolv {

// The label's lines, asked once the printer is found (its queue, paper, resolution, the date,
// the correction in force, what to do with the page).
using TestPageLabel = std::function<std::vector<std::string>()>;

// Prints the test page of form type `blank` (1 to 7) on the platform's default printer, labelled
// inside the first copy's outline, and ends the program; returns the exit status as Main does.
int MainTestPage(Platform& platform, int blank, const TestPageLabel& label = {});

}  // namespace tolv

#endif  // TOLV_STARTUP_TEST_PAGE_H_
