# The user list, the database file, text import, user series and the list view's rules.
quorvane_test_sources(userdb_test_sources userdb)
# The reader as it was, to which the program's reader is held.
add_executable(test_userdb ${userdb_test_sources} ${CMAKE_CURRENT_SOURCE_DIR}/support/ReferenceReader.cpp)
target_link_libraries(test_userdb PRIVATE quorvane_userdb quorvane_testsupport GTest::gtest_main)
gtest_discover_tests(test_userdb TEST_PREFIX "userdb." DISCOVERY_TIMEOUT 60)
