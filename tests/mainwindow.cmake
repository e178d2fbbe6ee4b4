# The settings store, document manager and main window.
if(TARGET quorvane_persist)
  add_executable(test_persist mainwindow/test_persist.cpp)
  target_include_directories(test_persist PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/mainwindow)
  target_link_libraries(test_persist PRIVATE quorvane_persist quorvane_userdb quorvane_options GTest::gtest_main)
  gtest_discover_tests(test_persist DISCOVERY_TIMEOUT 60)
endif()
if(TARGET quorvane_ui)
  add_executable(test_mainwindow mainwindow/test_mainwindow.cpp)
  target_include_directories(test_mainwindow PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/mainwindow)
  target_link_libraries(test_mainwindow PRIVATE quorvane_ui Qt6::Test quorvane_options GTest::gtest)
  gtest_discover_tests(test_mainwindow DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
