# Multi-buffer SHA-crypt rates per path against libxcrypt's crypt_rn in the same run.
if(TARGET quorvane_export)
  add_executable(bench_shamulti bench_shamulti.cpp)
  target_link_libraries(bench_shamulti PRIVATE quorvane_export quorvane_options PkgConfig::LIBXCRYPT
                        benchmark::benchmark)
endif()
