# The Windows build: tolv.exe with the GDI printer of src/platform/win32, cross-compiled with the
# toolchain file cmake/mingw-w64-x86_64.cmake and tested under wine (tests/win32).
# GCC 12 warns of overlapping copies inside std::string's operator+ that cannot happen (GCC bug
# 105329); the native build happens not to trigger it, the cross build does on every test file.
add_compile_options(-Wno-restrict)

file(GLOB TOLV_CORE_SOURCES CONFIGURE_DEPENDS
  src/startup/*.cpp src/form/*.cpp src/layout/*.cpp src/drivers/*.cpp
  src/transfer/*.cpp src/grid/*.cpp src/platform/*.cpp)
add_library(tolv_core STATIC ${TOLV_CORE_SOURCES})
target_include_directories(tolv_core PUBLIC src)

file(GLOB TOLV_WIN32_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)
list(FILTER TOLV_WIN32_SOURCES EXCLUDE REGEX "/win32_main\\.cpp$")
# Until the code-page tables are shared: the POSIX reader over a GetACP() stand-in for iconv.
list(APPEND TOLV_WIN32_SOURCES src/platform/posix/code_page.cpp)
add_library(tolv_win32 STATIC ${TOLV_WIN32_SOURCES})
target_include_directories(tolv_win32 PRIVATE src/platform/win32/iconv_shim)
target_link_libraries(tolv_win32 PUBLIC tolv_core gdi32 winspool windowscodecs ole32 uuid)
# The core asks the machine for the job file's code page: the two archives refer to each other.
target_link_libraries(tolv_core INTERFACE tolv_win32)

file(GLOB TOLV_RECORDING_SOURCES CONFIGURE_DEPENDS src/platform/recording/*.cpp)
add_library(tolv_recording STATIC ${TOLV_RECORDING_SOURCES})
target_link_libraries(tolv_recording PUBLIC tolv_core)

# The sample-form drawing, for the tests that draw a form (the forms themselves come from the Linux
# build).
add_library(tolv_forms STATIC tools/form_drawing.cpp)
target_include_directories(tolv_forms PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tolv_forms PUBLIC tolv_core)

if(EXISTS ${PROJECT_SOURCE_DIR}/src/platform/win32/win32_platform.cpp)
add_executable(tolv src/platform/win32/win32_main.cpp)
target_link_libraries(tolv PRIVATE tolv_win32)
# wmain: the program takes its arguments and paths as UTF-16.
target_link_options(tolv PRIVATE -municode)

# tolv-windows.zip: the exe, the sample forms drawn by the Linux build's generator (FORMS_DIR), and
# the short README for Windows users.
set(TOLV_FORMS_DIR "" CACHE PATH "The sample forms for the zip (the Linux build's build/forms)")
add_custom_target(tolv_zip
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:tolv> -DFORMS=${TOLV_FORMS_DIR}
          -DREADME=${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
          -DOUT=${CMAKE_BINARY_DIR}/tolv-windows.zip -DWORK=${CMAKE_BINARY_DIR}/zip
          -P ${PROJECT_SOURCE_DIR}/cmake/pack-windows.cmake
  DEPENDS tolv
  VERBATIM)
endif()

if(TOLV_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/win32)
endif()
