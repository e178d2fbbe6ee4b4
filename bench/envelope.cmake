# One guess at the master password (Argon2id, time and memory) and save/load of 100,000 users,
# encrypted against plain.
add_executable(bench_envelope bench_envelope.cpp)
target_link_libraries(bench_envelope PRIVATE quorvane_userdb quorvane_options benchmark::benchmark)
