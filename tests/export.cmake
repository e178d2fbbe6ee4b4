# MD5, MD5-crypt and the password file writer.
if(TARGET quorvane_export)
  add_executable(test_export test_md5.cpp test_passwordfile.cpp test_storedhash.cpp)
  target_link_libraries(test_export PRIVATE quorvane_export quorvane_options CURL::libcurl GTest::gtest_main)
  gtest_discover_tests(test_export DISCOVERY_TIMEOUT 60)
endif()
