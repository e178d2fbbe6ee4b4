# The base library: dates, files written safely, temporary files, the process's protections.
quorvane_test_sources(base_test_sources base)
add_executable(test_base ${base_test_sources})
target_link_libraries(test_base PRIVATE quorvane_base quorvane_testsupport GTest::gtest_main)
quorvane_add_gtest(test_base base.Tests)
