# The stores web servers read users from: SQLite, a PostgreSQL cluster and an OpenLDAP slapd of
# the program's own (started once), and Apache httpd and lighttpd reading them.
if(TARGET quorvane_sitedb)
  quorvane_test_sources(sitedb_test_sources sitedb)
  add_executable(test_sitedb ${sitedb_test_sources})
  target_link_libraries(test_sitedb PRIVATE quorvane_sitedb quorvane_testsupport CURL::libcurl crypt
    GTest::gtest_main)
  quorvane_add_gtest(test_sitedb sitedb.Stores LABELS ftp)
endif()
