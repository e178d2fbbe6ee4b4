# Opening and sorting 100,000 users in the main window, offscreen.
if(TARGET quorvane_ui)
  add_executable(bench_mainwindow bench_mainwindow.cpp)
  target_include_directories(bench_mainwindow PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
                             ${PROJECT_SOURCE_DIR}/tests/ui)
  target_link_libraries(bench_mainwindow PRIVATE quorvane_ui quorvane_options benchmark::benchmark)
endif()
