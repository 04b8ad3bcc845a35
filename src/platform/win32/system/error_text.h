// A Windows error for a message of one line: its number and the system's words for it.
#ifndef TOLV_PLATFORM_WIN32_SYSTEM_ERROR_TEXT_H_
#define TOLV_PLATFORM_WIN32_SYSTEM_ERROR_TEXT_H_

#include <string>

namespace tolv {

// "error 6: The handle is invalid" (FormatMessageW, in the system's language, on one line);
// "error N" alone when the system has no words for it.
std::string SystemErrorText(unsigned long error);

}  // namespace tolv

#endif  // TOLV_PLATFORM_WIN32_SYSTEM_ERROR_TEXT_H_
