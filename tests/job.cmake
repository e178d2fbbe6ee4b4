# The export job: its events, abort and result, to a file, a stream and a loopback FTP server.
if(TARGET quorvane_job)
  quorvane_test_sources(job_test_sources job)
  add_executable(test_job ${job_test_sources})
  target_link_libraries(test_job PRIVATE quorvane_job quorvane_testsupport GTest::gtest_main)
  # The abort cases build files of up to 400,000 users so that a loopback transfer lasts; under
  # ThreadSanitizer that alone takes about a minute.
  gtest_discover_tests(test_job TEST_PREFIX "job." DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ftp TIMEOUT 300)
endif()
