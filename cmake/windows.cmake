# The Windows build's own targets (cross-compiled with cmake/mingw-w64-x86_64.cmake): the zip for
# Windows users, and the tests, run under wine (tests/win32). The sample-form generator is not run
# here: its forms come from the Linux build (TOLV_FORMS_DIR).

# The sample-form drawing, for the unit tests that draw a form.
add_library(tolv_forms STATIC tools/form_drawing.cpp)
target_include_directories(tolv_forms PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(tolv_forms PUBLIC tolv_core)

# tolv.exe as administrators expect a Windows program: a version resource (Properties, Details)
# from the project's one version, a manifest (asInvoker: no elevation and no VirtualStore
# redirection; long paths; Windows 7 to 11), the GUI subsystem (no console window flashes up when
# a program starts it; see BoundStandardStreams), and no debug information or symbols in the exe.
# windres runs on its own: the project's compile options (-Wall ...) are not its options.
set(TOLV_VERSION_QUAD ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
set(TOLV_MANIFEST tolv.exe.manifest)
set(TOLV_RESOURCE_DIR ${CMAKE_BINARY_DIR}/resource)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/tolv.exe.manifest
               ${TOLV_RESOURCE_DIR}/${TOLV_MANIFEST} @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/tolv.rc.in
               ${TOLV_RESOURCE_DIR}/tolv_resource.rc @ONLY)
string(REGEX REPLACE "windres$" "windmc" TOLV_MC_COMPILER ${CMAKE_RC_COMPILER})
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/tolv_resource.obj
  COMMAND ${TOLV_MC_COMPILER} -h . -r . ${PROJECT_SOURCE_DIR}/packaging/windows/tolv_messages.mc
  COMMAND ${CMAKE_RC_COMPILER} -O coff -I . -i tolv_resource.rc -o ${CMAKE_BINARY_DIR}/tolv_resource.obj
  DEPENDS ${TOLV_RESOURCE_DIR}/tolv_resource.rc ${TOLV_RESOURCE_DIR}/${TOLV_MANIFEST}
          ${PROJECT_SOURCE_DIR}/packaging/windows/tolv_messages.mc
  WORKING_DIRECTORY ${TOLV_RESOURCE_DIR}
  VERBATIM)
set_source_files_properties(${CMAKE_BINARY_DIR}/tolv_resource.obj
                            PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
target_sources(tolv PRIVATE ${CMAKE_BINARY_DIR}/tolv_resource.obj)
target_link_options(tolv PRIVATE -s -Wl,--subsystem,windows)

# tolv-windows.zip: the exe, the sample forms, and the short README for Windows users.
set(TOLV_FORMS_DIR "" CACHE PATH "The sample forms for the zip (the Linux build's build/forms)")
add_custom_target(tolv_zip
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:tolv> -DFORMS=${TOLV_FORMS_DIR}
          -DREADME=${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
          -DOUT=${CMAKE_BINARY_DIR}/tolv-windows.zip -DWORK=${CMAKE_BINARY_DIR}/zip
          -P ${PROJECT_SOURCE_DIR}/cmake/pack-windows.cmake
  DEPENDS tolv
  VERBATIM)

# tolv.msi: the same files installed into one folder, with the event source and a Programs and
# Features entry; built by wixl (Debian's msitools) when it is there.
find_program(TOLV_WIXL wixl)
if(TOLV_WIXL)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/tolv.msi
    COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:tolv> -DFORMS=${TOLV_FORMS_DIR}
            -DREADME=${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
            -DWXS=${PROJECT_SOURCE_DIR}/packaging/windows/tolv.wxs.in -DVERSION=${PROJECT_VERSION}
            -DWORK=${CMAKE_BINARY_DIR}/msi -DOUT=${CMAKE_BINARY_DIR}/tolv.msi
            -P ${PROJECT_SOURCE_DIR}/cmake/msi-windows.cmake
    DEPENDS tolv ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt
            ${PROJECT_SOURCE_DIR}/packaging/windows/tolv.wxs.in
            ${PROJECT_SOURCE_DIR}/cmake/msi-windows.cmake
    VERBATIM)
  add_custom_target(tolv_msi ALL DEPENDS ${CMAKE_BINARY_DIR}/tolv.msi)
else()
  message(STATUS "wixl not found (Debian's msitools): no tolv.msi")
endif()

if(TOLV_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests/win32)
endif()
