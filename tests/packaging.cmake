# The install layout: program and help page side by side, desktop entry, icon, MIME type.
if(TARGET quorvane AND TARGET quorvane-cli)
  add_test(NAME Packaging.InstallLayout
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
            -DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/install-scratch
            -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/CheckInstall.cmake)
endif()
