# Widget tests of the export dialog, the user series dialog and the import command (offscreen),
# with FTP exports against a loopback server.
if(TARGET quorvane_ui AND TARGET Qt6::Test)
  file(GLOB exportdlg_test_sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/exportdlg/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/exportdlg/*.h)
  add_executable(test_exportdlg ${exportdlg_test_sources})
  target_link_libraries(test_exportdlg PRIVATE quorvane_ui Qt6::Test GTest::gtest quorvane_options)
  target_compile_definitions(test_exportdlg PRIVATE
    QUORVANE_FTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/ftp_server.py"
    QUORVANE_SFTP_SERVER_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/sftp_server.py")
  gtest_discover_tests(test_exportdlg DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS ftp TIMEOUT 120)
endif()
