# The desktop program: settings store and document manager, the dialogs, the export dialog
# (with exports against loopback servers), the main window and the translation, offscreen.
# Each folder below ui/ is one program; ui/ holds what they share.
if(TARGET quorvane_persist)
  quorvane_test_sources(persist_test_sources ui/persist)
  add_executable(test_persist ${persist_test_sources})
  target_include_directories(test_persist PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/ui)
  target_link_libraries(test_persist PRIVATE quorvane_persist quorvane_userdb quorvane_testsupport
    GTest::gtest_main)
  quorvane_add_gtest(test_persist ui.persist)
endif()

if(TARGET quorvane_ui AND TARGET Qt6::Test)
  # The main function of the widget tests, compiled once for the programs that link it.
  add_library(quorvane_qttest_main OBJECT ${CMAKE_CURRENT_SOURCE_DIR}/ui/QtTestMain.cpp)
  target_link_libraries(quorvane_qttest_main PRIVATE quorvane_ui quorvane_testsupport Qt6::Test
    GTest::gtest GTest::gmock)
  foreach(program dialogs exportdlg mainwindow translation)
    quorvane_test_sources(ui_test_sources ui/${program})
    add_executable(test_${program} ${ui_test_sources})
    target_include_directories(test_${program} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/ui
      ${CMAKE_CURRENT_SOURCE_DIR}/ui/${program})
    target_link_libraries(test_${program} PRIVATE quorvane_ui quorvane_testsupport Qt6::Test
      GTest::gtest)
    if(NOT program STREQUAL "translation")
      target_link_libraries(test_${program} PRIVATE quorvane_qttest_main)
    endif()
    quorvane_add_gtest(test_${program} ui.${program} ENVIRONMENT QT_QPA_PLATFORM=offscreen
      LABELS ftp TIMEOUT 600)
  endforeach()
  # The dialogs once more on a small screen at scale 2 (1280 x 800 pixels: 640 x 400 units).
  add_test(NAME ui.dialogs.FitScreen.OnASmallScreenAtScale2
    COMMAND test_dialogs --gtest_filter=FitScreen.*)
  set_tests_properties(ui.dialogs.FitScreen.OnASmallScreenAtScale2 PROPERTIES ENVIRONMENT
    "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_SOURCE_DIR}/ui/dialogs/small-screen.json;QT_SCALE_FACTOR=2")
  # The translation test has its own main: it sets a German locale before Qt starts.
  target_compile_definitions(test_translation PRIVATE
    QUORVANE_TRANSLATIONS_DIR="${PROJECT_SOURCE_DIR}/translations")
  # The shipped translations hold every text of the sources, each one translated.
  add_test(NAME ui.translation.TsFilesAreCurrent
    COMMAND ${CMAKE_COMMAND} -DLUPDATE=$<TARGET_FILE:Qt6::lupdate>
            -DGENERATOR=${Qt6LinguistTools_DIR}/GenerateLUpdateProject.cmake
            -DPROJECT=${PROJECT_BINARY_DIR}/src/ui/.lupdate/quorvane_ui_project.cmake
            -DTS_DIR=${PROJECT_SOURCE_DIR}/translations
            -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/ts-current
            -P ${CMAKE_CURRENT_SOURCE_DIR}/ui/translation/TsCurrent.cmake)
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
