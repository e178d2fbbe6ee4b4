# quorvane-cli run as a user runs it: commands, scripts, files, credentials, the slow forms,
# exports to every kind of server and taking over a site, judged by htpasswd and nginx.
quorvane_test_sources(cli_test_sources cli)
add_executable(test_cli ${cli_test_sources})
target_link_libraries(test_cli PRIVATE quorvane_clilib quorvane_testsupport CURL::libcurl
  GTest::gtest_main GTest::gmock)
target_compile_definitions(test_cli PRIVATE QUORVANE_CLI_PATH="$<TARGET_FILE:quorvane-cli>"
  QUORVANE_STORES_PLUGIN_PATH="$<TARGET_FILE:quorvane-stores>"
  QUORVANE_TRANSFERS_PLUGIN_PATH="$<TARGET_FILE:quorvane-transfers>"
  QUORVANE_INSTALLED_PLUGIN_DIR="${QUORVANE_PLUGIN_DIR}")
add_dependencies(test_cli quorvane-cli quorvane-stores quorvane-transfers)
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/cli/test_cli.cpp PROPERTIES
  COMPILE_DEFINITIONS QUORVANE_VERSION="${PROJECT_VERSION}")
quorvane_add_gtest(test_cli cli.Tests SHARDS 2 LABELS ftp TIMEOUT 600)
