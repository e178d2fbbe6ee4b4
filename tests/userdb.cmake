add_executable(test_userdb test_userlist.cpp test_datalib.cpp test_reader.cpp test_loginrule.cpp
  test_filesafety.cpp test_passsettings.cpp)
target_link_libraries(test_userdb PRIVATE quorvane_userdb GTest::gtest_main)
target_compile_definitions(test_userdb PRIVATE
  QUORVANE_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
  QUORVANE_EXAMPLES_DIR="${CMAKE_SOURCE_DIR}/../shared/examples")
gtest_discover_tests(test_userdb TEST_PREFIX "userdb." DISCOVERY_TIMEOUT 60)
