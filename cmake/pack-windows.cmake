# Packs tolv-windows.zip: tolv.exe, the sample forms beside it (where it looks for them) and
# README.txt, in one folder "tolv".
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/tolv)
file(COPY ${EXE} ${README} DESTINATION ${WORK}/tolv)
if(FORMS)
  file(GLOB forms ${FORMS}/KORDEL*)
  if(NOT forms)
    message(FATAL_ERROR "no sample forms in ${FORMS}")
  endif()
  file(COPY ${forms} DESTINATION ${WORK}/tolv)
endif()
file(REMOVE ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT} --format=zip tolv
                WORKING_DIRECTORY ${WORK} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not pack ${OUT}")
endif()
