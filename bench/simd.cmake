# Multi-buffer "$apr1$" rates per path against OpenSSL's MD5, and the 100,000-user export end to
# end. OpenSSL is the baseline of the benchmark only; the program never links it.
if(TARGET quorvane_export AND TARGET quorvane-cli)
  find_package(OpenSSL REQUIRED COMPONENTS Crypto)
  add_executable(bench_md5multi bench_md5multi.cpp)
  target_link_libraries(bench_md5multi PRIVATE quorvane_export quorvane_options OpenSSL::Crypto benchmark::benchmark)
  target_compile_definitions(bench_md5multi PRIVATE QUORVANE_CLI_PATH="$<TARGET_FILE:quorvane-cli>")
  add_dependencies(bench_md5multi quorvane-cli)
endif()
