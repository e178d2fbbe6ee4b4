# The multi-buffer SHA-crypt paths against the system's crypt (libxcrypt).
if(TARGET quorvane_export)
  add_executable(fuzz_shamulti fuzz_shamulti.cpp)
  target_link_libraries(fuzz_shamulti PRIVATE quorvane_export quorvane_options PkgConfig::LIBXCRYPT)
  target_compile_options(fuzz_shamulti PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_shamulti PRIVATE -fsanitize=fuzzer)
endif()
