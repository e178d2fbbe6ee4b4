# Taking over an existing site from the command line, judged by htpasswd and nginx.
if(TARGET quorvane_export AND TARGET quorvane_ftp)
  add_executable(test_adopt_cli test_adopt_cli.cpp)
  target_link_libraries(test_adopt_cli PRIVATE quorvane_clilib CURL::libcurl GTest::gtest_main)
  gtest_discover_tests(test_adopt_cli DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endif()
