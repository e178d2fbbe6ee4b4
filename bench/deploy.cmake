# An export to three SFTP servers at once against one (OpenSSH's sshd on loopback).
if(TARGET quorvane_job)
  add_executable(bench_deploy bench_deploy.cpp)
  target_include_directories(bench_deploy PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_compile_definitions(bench_deploy PRIVATE
    QUORVANE_FTP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/ftp_server.py"
    QUORVANE_SFTP_SERVER_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/sftp_server.py"
    QUORVANE_THROTTLE_SCRIPT="${PROJECT_SOURCE_DIR}/tests/support/throttle_pipe.py")
  target_link_libraries(bench_deploy PRIVATE quorvane_job quorvane_options benchmark::benchmark_main)
endif()
