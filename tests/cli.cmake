add_executable(test_cli test_cli.cpp test_cli_files.cpp test_cli_credentials.cpp)
target_link_libraries(test_cli PRIVATE quorvane_clilib GTest::gtest_main)
target_compile_definitions(test_cli PRIVATE QUORVANE_CLI_PATH="$<TARGET_FILE:quorvane-cli>")
add_dependencies(test_cli quorvane-cli)
gtest_discover_tests(test_cli DISCOVERY_TIMEOUT 60)
target_compile_definitions(test_cli PRIVATE
  QUORVANE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py")

add_executable(test_cli_script test_cli_script.cpp)
target_link_libraries(test_cli_script PRIVATE quorvane_clilib GTest::gtest_main)
target_compile_definitions(test_cli_script PRIVATE QUORVANE_CLI_PATH="$<TARGET_FILE:quorvane-cli>")
add_dependencies(test_cli_script quorvane-cli)
gtest_discover_tests(test_cli_script DISCOVERY_TIMEOUT 60)
target_compile_definitions(test_cli_script PRIVATE
  QUORVANE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py")
