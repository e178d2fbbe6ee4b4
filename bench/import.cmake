# Taking over a password file and importing a text file, from 10,000 to 200,000 lines: both
# must stay linear (200,000 password-file lines in at most 2 s).
if(TARGET quorvane_export)
  add_executable(bench_import bench_import.cpp)
  target_link_libraries(bench_import PRIVATE quorvane_export quorvane_options
                        benchmark::benchmark_main)
endif()
