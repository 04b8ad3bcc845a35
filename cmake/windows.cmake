# The Windows build's own targets (cross-compiled with cmake/mingw-w64-x86_64.cmake): the zip for
# Windows users, and the tests, run under wine (tests/win32). The sample-form generator is not run
# here: its forms come from the Linux build (TOLV_FORMS_DIR).

# The sample-form drawing, for the unit tests that draw a form.
add_library(tolv_forms STATIC tools/form_drawing.cpp)
target_include_directories(tolv_forms PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tolv_forms PUBLIC tolv_core)

# tolv-windows.zip: the exe, the sample forms, and the short README for Windows users.
set(TOLV_FORMS_DIR "" CACHE PATH "The sample forms for the zip (the Linux build's build/forms)")
add_custom_target(tolv_zip
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:tolv> -DFORMS=${TOLV_FORMS_DIR}
          -DREADME=${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
          -DOUT=${CMAKE_BINARY_DIR}/tolv-windows.zip -DWORK=${CMAKE_BINARY_DIR}/zip
          -P ${PROJECT_SOURCE_DIR}/cmake/pack-windows.cmake
  DEPENDS tolv
  VERBATIM)

if(TOLV_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/win32)
endif()
