# The user list, the database file, text import, user series and the list view's rules.
quorvane_test_sources(userdb_test_sources userdb)
add_executable(test_userdb ${userdb_test_sources})
target_link_libraries(test_userdb PRIVATE quorvane_userdb quorvane_testsupport GTest::gtest_main)
gtest_discover_tests(test_userdb TEST_PREFIX "userdb." DISCOVERY_TIMEOUT 60)
