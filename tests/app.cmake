# The desktop program answers --help and --version without a display: no window is made.
if(TARGET quorvane)
  foreach(option --version --help -h)
    add_test(NAME app.answers${option}WithoutADisplay
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
              --unset=QT_QPA_PLATFORM $<TARGET_FILE:quorvane> ${option})
  endforeach()
  set_tests_properties(app.answers--versionWithoutADisplay PROPERTIES
    PASS_REGULAR_EXPRESSION "^quorvane ${PROJECT_VERSION}\n$")
  set_tests_properties(app.answers--helpWithoutADisplay app.answers-hWithoutADisplay PROPERTIES
    PASS_REGULAR_EXPRESSION "^usage: quorvane \\[FILE\\.udx\\]")
endif()
