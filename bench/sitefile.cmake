# What comparing the site's file before replacing it adds to a 100,000-user MD5 export, to a
# local file and to a loopback SFTP server (asyncssh, as the tests start it).
if(TARGET quorvane_job)
  add_executable(bench_sitefile bench_sitefile.cpp)
  target_include_directories(bench_sitefile PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(bench_sitefile PRIVATE
    QUORVANE_SFTP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/sftp_server.py"
    QUORVANE_FTP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/ftp_server.py"
    QUORVANE_THROTTLE_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/throttle_pipe.py")
  target_link_libraries(bench_sitefile PRIVATE quorvane_job quorvane_options benchmark::benchmark_main)
endif()
