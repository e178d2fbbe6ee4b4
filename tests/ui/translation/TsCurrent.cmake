# Runs lupdate, as the build's quorvane_ui_lupdate target does, over copies of the shipped .ts
# files and fails when the copy differs from what is shipped: a text in the sources that the
# file lacks (lupdate adds it unfinished), a text the sources no longer hold, or an entry left
# unfinished. Arguments: LUPDATE, GENERATOR (Qt's GenerateLUpdateProject.cmake), PROJECT (the
# lupdate project description of the library), TS_DIR, WORK_DIR.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND ${CMAKE_COMMAND} -DIN_FILE=${PROJECT} -DOUT_FILE=${WORK_DIR}/project.json
                        -P ${GENERATOR}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot describe the lupdate project")
endif()

file(GLOB shipped ${TS_DIR}/quorvane_*.ts)
if(NOT shipped)
  message(FATAL_ERROR "no quorvane_*.ts in ${TS_DIR}")
endif()
set(problems "")
foreach(ts IN LISTS shipped)
  get_filename_component(name ${ts} NAME)
  set(copy ${WORK_DIR}/${name})
  file(COPY_FILE ${ts} ${copy})
  execute_process(COMMAND ${LUPDATE} -silent -project ${WORK_DIR}/project.json -no-obsolete
                          -locations none -ts ${copy}
                  RESULT_VARIABLE rc ERROR_VARIABLE errors)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}: ${errors}")
  endif()
  # Each entry the sources ask for and the file does not translate, by its English text.
  file(READ ${copy} updated)
  string(REGEX MATCHALL "<source>[^<]*</source>[ \n]*<translation type=\"unfinished\""
         unfinished "${updated}")
  foreach(entry IN LISTS unfinished)
    string(REGEX REPLACE "<source>([^<]*)</source>.*" "\\1" source "${entry}")
    string(APPEND problems "${name}: not translated: \"${source}\"\n")
  endforeach()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ts} ${copy} RESULT_VARIABLE differs)
  if(differs AND NOT unfinished)
    execute_process(COMMAND diff -u ${ts} ${copy} OUTPUT_VARIABLE diff)
    string(APPEND problems "${name}: not as lupdate writes it for the current sources:\n${diff}")
  endif()
endforeach()
if(problems)
  message(FATAL_ERROR "Bring the translations up to date (cmake --build BUILD --target "
                      "quorvane_ui_lupdate, then translate):\n${problems}")
endif()
