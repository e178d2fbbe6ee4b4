# MD5, MD5-crypt (one user and multi-buffer), the slow forms, the password file writer and
# taking over an existing site's password file.
if(TARGET quorvane_export)
  quorvane_test_sources(export_test_sources export)
  add_executable(test_export ${export_test_sources})
  # The system's crypt and libsodium as references for the forms the program makes.
  target_link_libraries(test_export PRIVATE quorvane_export quorvane_testsupport CURL::libcurl
    PkgConfig::LIBXCRYPT PkgConfig::LIBSODIUM GTest::gtest_main)
  quorvane_add_gtest(test_export export.Tests SHARDS 2)
endif()
