# Text import and user series.
add_executable(test_import_series test_import.cpp test_series.cpp)
target_link_libraries(test_import_series PRIVATE quorvane_userdb quorvane_options GTest::gtest_main)
gtest_discover_tests(test_import_series DISCOVERY_TIMEOUT 60)
