# quorvane-cli run as a user runs it: commands, scripts, files, credentials, the slow forms,
# exports to every kind of server and taking over a site, judged by htpasswd and nginx.
quorvane_test_sources(cli_test_sources cli)
add_executable(test_cli ${cli_test_sources})
target_link_libraries(test_cli PRIVATE quorvane_clilib quorvane_testsupport CURL::libcurl
  GTest::gtest_main GTest::gmock)
target_compile_definitions(test_cli PRIVATE QUORVANE_CLI_PATH="$<TARGET_FILE:quorvane-cli>")
add_dependencies(test_cli quorvane-cli)
gtest_discover_tests(test_cli TEST_PREFIX "cli." DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS ftp TIMEOUT 300)
