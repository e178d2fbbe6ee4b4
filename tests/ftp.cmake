# FTP client, upload worker and temporary-file helpers, against real FTP servers on loopback.
if(TARGET quorvane_ftp)
  add_executable(test_ftp test_ftp.cpp)
  target_link_libraries(test_ftp PRIVATE quorvane_ftp GTest::gtest_main GTest::gmock)
  target_compile_definitions(test_ftp PRIVATE
    QUORVANE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py")
  gtest_discover_tests(test_ftp DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ftp TIMEOUT 120)
endif()

# The secure transports against vsftpd (TLS), OpenSSH's sshd and asyncssh (SFTP) on loopback.
if(TARGET quorvane_ftp)
  add_executable(test_transports test_transports.cpp)
  target_link_libraries(test_transports PRIVATE quorvane_ftp GTest::gtest_main GTest::gmock)
  target_compile_definitions(test_transports PRIVATE
    QUORVANE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py"
    QUORVANE_SFTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/sftp_server.py")
  gtest_discover_tests(test_transports DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ftp TIMEOUT 180)
endif()

# quorvane-cli's target command and exports to every kind of server.
if(TARGET quorvane_clilib AND TARGET quorvane_ftp)
  add_executable(test_cli_target test_cli_target.cpp)
  target_link_libraries(test_cli_target PRIVATE quorvane_clilib GTest::gtest_main GTest::gmock)
  target_compile_definitions(test_cli_target PRIVATE
    QUORVANE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py"
    QUORVANE_SFTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/sftp_server.py")
  gtest_discover_tests(test_cli_target DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ftp TIMEOUT 180)
endif()
