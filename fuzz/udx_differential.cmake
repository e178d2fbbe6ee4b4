# The users database reader against the two-pass reader it replaced, and the list's text and
# sums against its object stream's.
add_executable(fuzz_udx_differential fuzz_udx_differential.cpp
               ${PROJECT_SOURCE_DIR}/tests/support/ReferenceReader.cpp)
target_include_directories(fuzz_udx_differential PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(fuzz_udx_differential PRIVATE quorvane_userdb)
target_compile_options(fuzz_udx_differential PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_udx_differential PRIVATE -fsanitize=fuzzer)
