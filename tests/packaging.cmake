# The install layout: program and help page side by side, desktop entry, icon, MIME type.
if(TARGET quorvane AND TARGET quorvane-cli)
  add_test(NAME packaging.InstallLayout
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DAPPSTREAM_ID=${QUORVANE_APPSTREAM_ID}
            -DPLUGIN_DIR=${QUORVANE_PLUGIN_DIR}
            -DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/install-scratch
            -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/CheckInstall.cmake)
endif()

# The package is built from a release build configured as a distribution builds it (the test
# command makes one in build/release and names it here); without one, from this build, which
# then cannot be held to the hardening of released binaries.
set(QUORVANE_PACKAGE_BUILD_DIR "" CACHE PATH
    "An optimised, hardened build of the same sources whose package the packaging tests check")
if(QUORVANE_PACKAGE_BUILD_DIR)
  set(package_build_dir ${QUORVANE_PACKAGE_BUILD_DIR})
  set(package_hardened hardened)
elseif(TARGET quorvane AND TARGET quorvane-cli)
  set(package_build_dir ${CMAKE_BINARY_DIR})
  set(package_hardened "")
endif()
if(package_build_dir)
  # The whole package through lintian (skipped when lintian is missing), and for a release
  # build its installed programs through hardening-check.
  add_test(NAME packaging.Lintian
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_deb.sh ${package_build_dir}
            ${CMAKE_CURRENT_BINARY_DIR}/deb-scratch ${package_hardened})
  set_tests_properties(packaging.Lintian PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
  add_test(NAME packaging.AppStream
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_appstream.sh
            ${PROJECT_SOURCE_DIR}/packaging/metainfo.py
            ${PROJECT_SOURCE_DIR}/packaging/quorvane.metainfo.xml.in
            ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
            ${CMAKE_BINARY_DIR}/${QUORVANE_APPSTREAM_ID}.metainfo.xml ${QUORVANE_APPSTREAM_ID}
            ${PROJECT_SOURCE_DIR}/docs/screenshots)
  set_tests_properties(packaging.AppStream PROPERTIES SKIP_RETURN_CODE 77)
endif()

# Manual pages, completion, MIME type and the scheduled-export example; each script exits
# with 77 (skipped) when the tool it needs is missing.
add_test(NAME packaging.ManPages
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_manpages.sh
          ${CMAKE_BINARY_DIR}/man/quorvane.1 ${CMAKE_BINARY_DIR}/man/quorvane-cli.1)
add_test(NAME packaging.MimeMagic
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_mime.sh
          ${PROJECT_SOURCE_DIR}/packaging/quorvane-udx.xml ${CMAKE_CURRENT_SOURCE_DIR}/data/two-users.udx)
set_tests_properties(packaging.ManPages packaging.MimeMagic PROPERTIES SKIP_RETURN_CODE 77)
if(TARGET quorvane-cli)
  add_test(NAME packaging.BashCompletion
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_completion.sh
            ${PROJECT_SOURCE_DIR}/packaging/quorvane-cli.bash-completion $<TARGET_FILE:quorvane-cli>)
  add_test(NAME packaging.ScheduledExport
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_systemd.sh
            ${PROJECT_SOURCE_DIR}/packaging/systemd $<TARGET_FILE:quorvane-cli>)
  set_tests_properties(packaging.BashCompletion packaging.ScheduledExport
                       PROPERTIES SKIP_RETURN_CODE 77)
endif()
# quorvane-cli(1) has an entry for every command and names every option of their usage lines.
if(TARGET quorvane-cli)
  add_test(NAME packaging.ManPageComplete
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check_manpage_complete.sh
            $<TARGET_FILE:quorvane-cli> ${CMAKE_BINARY_DIR}/man/quorvane-cli.1)
endif()
