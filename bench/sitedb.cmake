# The stores web servers read users from: the first sync of 100,000 users and a re-sync after
# 100 changes, per engine, and what a request for the last of many users costs through Apache
# with a password file, PostgreSQL and LDAP.
if(TARGET quorvane_sitedb)
  add_executable(bench_sitedb bench_sitedb.cpp)
  target_include_directories(bench_sitedb PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(bench_sitedb PRIVATE quorvane_sitedb quorvane_options CURL::libcurl crypt
    benchmark::benchmark_main)
endif()
