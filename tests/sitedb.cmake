# The stores web servers read users from: SQLite, a PostgreSQL cluster and an OpenLDAP slapd of
# the program's own (started once), and Apache httpd and lighttpd reading them.
if(TARGET quorvane_sitedb)
  quorvane_test_sources(sitedb_test_sources sitedb)
  add_executable(test_sitedb ${sitedb_test_sources})
  target_link_libraries(test_sitedb PRIVATE quorvane_sitedb quorvane_testsupport CURL::libcurl crypt
    GTest::gtest_main)
  # One test for the whole program, so that each server starts once.
  add_test(NAME sitedb.Stores COMMAND test_sitedb)
  set_tests_properties(sitedb.Stores PROPERTIES LABELS ftp TIMEOUT 300)
endif()
