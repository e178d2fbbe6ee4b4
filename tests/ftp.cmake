# The FTP client, the upload worker and the secure transports against real servers on
# loopback (pyftpdlib, vsftpd with TLS, OpenSSH's sshd and asyncssh for SFTP).
if(TARGET quorvane_ftp)
  quorvane_test_sources(ftp_test_sources ftp)
  add_executable(test_ftp ${ftp_test_sources}
    ${CMAKE_CURRENT_SOURCE_DIR}/support/QueuedDispatcher.cpp)
  # The clients tested from inside, linked as they are; what goes through MakeTransport loads
  # them as the programs do.
  target_link_libraries(test_ftp PRIVATE quorvane_transfers_impl quorvane_ftp quorvane_testsupport
    GTest::gtest_main GTest::gmock)
  quorvane_add_gtest(test_ftp ftp.Tests SHARDS 2 LABELS ftp TIMEOUT 600)
endif()
