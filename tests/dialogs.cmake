# Widget tests of the dialogs, the numeric box and the user-editing commands (offscreen).
if(TARGET quorvane_ui AND TARGET Qt6::Test)
  file(GLOB dialogs_test_sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/dialogs/*.h)
  add_executable(test_dialogs ${dialogs_test_sources})
  target_include_directories(test_dialogs PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(test_dialogs PRIVATE quorvane_ui Qt6::Test GTest::gtest quorvane_options)
  gtest_discover_tests(test_dialogs DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
