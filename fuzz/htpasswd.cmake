# The password file parser of the import of an existing site.
add_executable(fuzz_htpasswd fuzz_htpasswd.cpp)
target_link_libraries(fuzz_htpasswd PRIVATE quorvane_export quorvane_options)
target_compile_options(fuzz_htpasswd PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_htpasswd PRIVATE -fsanitize=fuzzer)
