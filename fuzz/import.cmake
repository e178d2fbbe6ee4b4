# The line and field splitter of the text import.
add_executable(fuzz_import_splitter fuzz_import_splitter.cpp)
target_link_libraries(fuzz_import_splitter PRIVATE quorvane_userdb quorvane_options)
target_compile_options(fuzz_import_splitter PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_import_splitter PRIVATE -fsanitize=fuzzer)
