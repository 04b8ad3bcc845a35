# Builds tolv.msi with wixl: copies the exe, the README and the sample forms into WORK/files (wixl
# finds sources by paths relative to where it runs), fills packaging/windows/tolv.wxs.in with one
# component for each sample form, then runs wixl in WORK.
# -DEXE= -DREADME= -DFORMS= -DWXS= -DVERSION= -DWORK= -DOUT=
file(GLOB forms ${FORMS}/KORDEL*)
if(NOT forms)
  message(FATAL_ERROR "no sample forms in ${FORMS}")
endif()
file(REMOVE_RECURSE ${WORK})
file(COPY ${EXE} ${README} ${forms} DESTINATION ${WORK}/files)
get_filename_component(EXE_NAME ${EXE} NAME)
get_filename_component(README_NAME ${README} NAME)
set(EXE files/${EXE_NAME})
set(README files/${README_NAME})
set(FORM_COMPONENTS "")
set(FORM_REFS "")
foreach(form ${forms})
  get_filename_component(name ${form} NAME)
  string(MAKE_C_IDENTIFIER "form_${name}" id)
  string(APPEND FORM_COMPONENTS
    "        <Component Id=\"${id}\" Guid=\"*\" Win64=\"yes\">\n"
    "          <File Id=\"${id}\" Name=\"${name}\" Source=\"files/${name}\" KeyPath=\"yes\"/>\n"
    "        </Component>\n")
  string(APPEND FORM_REFS "      <ComponentRef Id=\"${id}\"/>\n")
endforeach()
set(PROJECT_VERSION ${VERSION})
configure_file(${WXS} ${WORK}/tolv.wxs @ONLY)
file(REMOVE ${OUT})
execute_process(COMMAND wixl -a x64 -o ${OUT} tolv.wxs WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "wixl could not build ${OUT}")
endif()
