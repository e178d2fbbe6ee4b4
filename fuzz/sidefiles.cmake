# What the program reads back from beside the database and from the site: the state store (any
# input, the earlier text among it, and its current bytes), a site's password file as every
# reader takes it, and the template of the credentials mails.
foreach(target fuzz_state_store fuzz_state_bytes fuzz_site_file)
  add_executable(${target} ${target}.cpp)
  target_link_libraries(${target} PRIVATE quorvane_export quorvane_options)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()
add_executable(fuzz_mail_template fuzz_mail_template.cpp)
target_link_libraries(fuzz_mail_template PRIVATE quorvane_userdb quorvane_options)
target_compile_options(fuzz_mail_template PRIVATE -fsanitize=fuzzer)
target_link_options(fuzz_mail_template PRIVATE -fsanitize=fuzzer)
