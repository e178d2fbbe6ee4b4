# The multi-buffer MD5-crypt paths against the one-user computation.
if(TARGET quorvane_export)
  add_executable(test_md5multi test_md5multi.cpp)
  target_link_libraries(test_md5multi PRIVATE quorvane_export quorvane_options GTest::gtest_main)
  gtest_discover_tests(test_md5multi DISCOVERY_TIMEOUT 60)
endif()
