// Which Windows code page a POSIX machine's job files are read in: the one of the locale's
// language, as the locale variables name it.
#ifndef TOLV_PLATFORM_POSIX_ANSI_CODE_PAGE_H_
#define TOLV_PLATFORM_POSIX_ANSI_CODE_PAGE_H_

#include <string_view>

namespace tolv {

// The Windows code page (1250, 1251, 1252, 1253, 1254 or 1257) of the language of a locale name
// such as "ru_RU.UTF-8"; 1252 for an empty, "C" or unknown one.
int CodePageOfLocale(std::string_view locale_name);

}  // namespace tolv

#endif  // TOLV_PLATFORM_POSIX_ANSI_CODE_PAGE_H_
