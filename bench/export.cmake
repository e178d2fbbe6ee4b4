# "$apr1$" hashing against OpenSSL's MD5, and a whole export. OpenSSL is the baseline of the
# benchmark only; the program never links it.
if(TARGET quorvane_export)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  add_executable(bench_export bench_export.cpp)
  target_link_libraries(bench_export PRIVATE quorvane_export quorvane_options OpenSSL::Crypto
                        benchmark::benchmark)
endif()

# An export in three forms from one set of hash caches, against single-form builds.
if(TARGET quorvane_export)
  add_executable(bench_forms bench_forms.cpp)
  target_link_libraries(bench_forms PRIVATE quorvane_export quorvane_options
                        benchmark::benchmark_main)
endif()
