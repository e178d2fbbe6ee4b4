# The desktop program: settings store and document manager, the dialogs, the export dialog
# (with FTP exports against a loopback server) and the main window, offscreen.
if(TARGET quorvane_persist)
  add_executable(test_persist ui/mainwindow/test_persist.cpp)
  target_include_directories(test_persist PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/ui/mainwindow)
  target_link_libraries(test_persist PRIVATE quorvane_persist quorvane_userdb quorvane_testsupport
    GTest::gtest_main)
  gtest_discover_tests(test_persist TEST_PREFIX "ui." DISCOVERY_TIMEOUT 60)
endif()

if(TARGET quorvane_ui AND TARGET Qt6::Test)
  foreach(program dialogs exportdlg)
    quorvane_test_sources(ui_test_sources ui/${program})
    add_executable(test_${program} ${ui_test_sources})
    target_link_libraries(test_${program} PRIVATE quorvane_ui quorvane_testsupport Qt6::Test
      GTest::gtest)
    gtest_discover_tests(test_${program} TEST_PREFIX "ui." DISCOVERY_TIMEOUT 60
      PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS ftp TIMEOUT 120)
  endforeach()

  add_executable(test_mainwindow ui/mainwindow/test_mainwindow.cpp)
  target_include_directories(test_mainwindow PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/ui/mainwindow)
  target_link_libraries(test_mainwindow PRIVATE quorvane_ui quorvane_testsupport Qt6::Test
    GTest::gtest)
  gtest_discover_tests(test_mainwindow TEST_PREFIX "ui." DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# Under a German locale (set by the program itself before Qt starts), and the shipped .ts files.
if(TARGET quorvane_ui AND TARGET Qt6::Test)
  add_executable(test_translation ui/translation/test_translation.cpp)
  target_link_libraries(test_translation PRIVATE quorvane_ui quorvane_testsupport Qt6::Test
    GTest::gtest)
  target_compile_definitions(test_translation PRIVATE
    QUORVANE_TRANSLATIONS_DIR="${PROJECT_SOURCE_DIR}/translations")
  gtest_discover_tests(test_translation TEST_PREFIX "ui." DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The desktop program answers --help and --version without a display: no window is made.
if(TARGET quorvane)
  foreach(option --version --help -h)
    add_test(NAME ui.answers${option}WithoutADisplay
      COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
              --unset=QT_QPA_PLATFORM $<TARGET_FILE:quorvane> ${option})
  endforeach()
  set_tests_properties(ui.answers--versionWithoutADisplay PROPERTIES
    PASS_REGULAR_EXPRESSION "^quorvane ${PROJECT_VERSION}\n$")
  set_tests_properties(ui.answers--helpWithoutADisplay ui.answers-hWithoutADisplay PROPERTIES
    PASS_REGULAR_EXPRESSION "^usage: quorvane \\[FILE\\.udx\\]")
endif()
