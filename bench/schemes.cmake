# bcrypt and SHA-512-crypt on one and two workers against libxcrypt in a plain loop, and a
# 10,000-user bcrypt export with and without the hash cache.
if(TARGET quorvane_export)
  add_executable(bench_schemes bench_schemes.cpp)
  target_link_libraries(bench_schemes PRIVATE quorvane_export quorvane_options PkgConfig::LIBXCRYPT
                        benchmark::benchmark_main)
endif()
