add_executable(fuzz_envelope fuzz_envelope.cpp)
target_link_libraries(fuzz_envelope PRIVATE quorvane_userdb)
target_compile_options(fuzz_envelope PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_envelope PRIVATE -fsanitize=fuzzer)
