# The user list, the database file, text import, user series and the list view's rules.
quorvane_test_sources(userdb_test_sources userdb)
# The reader as it was, to which the program's reader is held.
add_executable(test_userdb ${userdb_test_sources} ${CMAKE_CURRENT_SOURCE_DIR}/support/ReferenceReader.cpp)
# The envelope is also opened the way files were sealed before: OpenSSL's ChaCha20-Poly1305.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
target_link_libraries(test_userdb PRIVATE quorvane_userdb quorvane_testsupport GTest::gtest_main
  PkgConfig::LIBSODIUM OpenSSL::Crypto)
quorvane_add_gtest(test_userdb userdb.Tests SHARDS 2)
