# Save, load, fingerprint and change stamp of a database of 100,000 users; run with
# "--peak load|save FILE" for the peak memory of one operation in a process of its own.
add_executable(bench_userdb bench_userdb.cpp)
target_link_libraries(bench_userdb PRIVATE quorvane_userdb quorvane_options benchmark::benchmark)
