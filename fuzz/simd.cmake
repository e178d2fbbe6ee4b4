# The multi-buffer "$apr1$" paths against the one-user computation.
if(TARGET quorvane_export)
  add_executable(fuzz_md5multi fuzz_md5multi.cpp)
  target_link_libraries(fuzz_md5multi PRIVATE quorvane_export quorvane_options)
  target_compile_options(fuzz_md5multi PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_md5multi PRIVATE -fsanitize=fuzzer)
endif()
