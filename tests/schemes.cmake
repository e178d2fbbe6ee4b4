# quorvane-cli with the slow password forms and the hash cache.
if(TARGET quorvane_export)
  add_executable(test_cli_schemes test_cli_schemes.cpp)
  target_link_libraries(test_cli_schemes PRIVATE quorvane_clilib GTest::gtest_main)
  gtest_discover_tests(test_cli_schemes DISCOVERY_TIMEOUT 60)
endif()
