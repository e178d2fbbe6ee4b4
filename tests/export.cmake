# MD5, MD5-crypt and the password file writer.
if(TARGET quorvane_export)
  add_executable(test_export test_md5.cpp test_passwordfile.cpp test_storedhash.cpp test_hashschemes.cpp
    test_schemes.cpp)
  target_link_libraries(test_export PRIVATE quorvane_export quorvane_options CURL::libcurl GTest::gtest_main)
  gtest_discover_tests(test_export DISCOVERY_TIMEOUT 60)
endif()
# Taking over an existing site: hash-only users and the password file import.
if(TARGET quorvane_export)
  add_executable(test_adopt test_adopt.cpp)
  target_link_libraries(test_adopt PRIVATE quorvane_export quorvane_options GTest::gtest_main)
  target_compile_definitions(test_adopt PRIVATE
    QUORVANE_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
  gtest_discover_tests(test_adopt DISCOVERY_TIMEOUT 60)
endif()
