# The export job: its events, abort and result, to a file, a stream and a loopback FTP server.
if(TARGET quorvane_job)
  quorvane_test_sources(job_test_sources job)
  add_executable(test_job ${job_test_sources}
    ${CMAKE_CURRENT_SOURCE_DIR}/support/QueuedDispatcher.cpp)
  # The system's crypt as the reference for the hashes the exports write.
  target_link_libraries(test_job PRIVATE quorvane_job quorvane_testsupport PkgConfig::LIBXCRYPT
    GTest::gtest_main)
  quorvane_add_gtest(test_job job.Tests LABELS ftp TIMEOUT 600)
endif()
