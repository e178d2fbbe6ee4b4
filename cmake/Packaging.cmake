# Installation and the Debian package.
#
#   cmake --install <build> [--prefix /usr/local]
#   cd <build> && cpack            # quorvane_<version>_<arch>.deb
#
# The desktop program lives in lib/quorvane with its help page beside it (Help Topics opens
# the page next to the executable); bin/quorvane is a link to it. The command-line companion
# goes to bin. The .desktop entry, the icon and the MIME type of .udx files go where desktops
# look for them.

include(GNUInstallDirs)

set(quorvane_help_source ${PROJECT_SOURCE_DIR}/docs/help/index.html)
set(quorvane_private_dir lib/quorvane)
set(quorvane_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

if(TARGET quorvane)
  # The help page also sits next to the built program, so Help Topics works from the build tree.
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/src/app/Quorvane.html
    COMMAND ${CMAKE_COMMAND} -E copy ${quorvane_help_source} ${CMAKE_BINARY_DIR}/src/app/Quorvane.html
    DEPENDS ${quorvane_help_source}
    COMMENT "Copying the help page next to the desktop program")
  add_custom_target(quorvane_help ALL DEPENDS ${CMAKE_BINARY_DIR}/src/app/Quorvane.html)
  add_dependencies(quorvane quorvane_help)

  install(TARGETS quorvane RUNTIME DESTINATION ${quorvane_private_dir})
  install(FILES ${quorvane_help_source} DESTINATION ${quorvane_private_dir}
          RENAME Quorvane.html)
  install(CODE "
    set(link_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${link_dir}\")
    file(CREATE_LINK ../${quorvane_private_dir}/quorvane \"\${link_dir}/quorvane\" SYMBOLIC)
    message(STATUS \"Installing: \${link_dir}/quorvane -> ../${quorvane_private_dir}/quorvane\")
  ")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane-udx.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME quorvane.xml)
  install(FILES ${quorvane_help_source} DESTINATION ${quorvane_doc_dir}/help)
  # The program's translations, looked up from lib/quorvane as ../../share/quorvane/translations.
  get_property(quorvane_qm_files GLOBAL PROPERTY QUORVANE_QM_FILES)
  install(FILES ${quorvane_qm_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/translations)
endif()

if(TARGET quorvane-cli)
  install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane-cli.bash-completion
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME quorvane-cli)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/systemd/quorvane-export.service
                ${PROJECT_SOURCE_DIR}/packaging/systemd/quorvane-export.timer
          DESTINATION ${quorvane_doc_dir}/examples)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${quorvane_doc_dir})

# Manual pages and the changelog go compressed, the way Debian's tools expect them
# (gzip -9n: best compression, no name or time stamp, so builds are reproducible).
find_program(QUORVANE_GZIP gzip REQUIRED)
set(quorvane_man_pages)
if(TARGET quorvane)
  list(APPEND quorvane_man_pages quorvane.1)
endif()
if(TARGET quorvane-cli)
  list(APPEND quorvane_man_pages quorvane-cli.1)
endif()
set(quorvane_compressed)
foreach(page ${quorvane_man_pages})
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${QUORVANE_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}
    COMMENT "Compressing the manual page ${page}")
  list(APPEND quorvane_compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${QUORVANE_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
  COMMENT "Compressing the changelog")
add_custom_target(quorvane_docs ALL DEPENDS ${quorvane_compressed} ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/debian/copyright
        DESTINATION ${quorvane_doc_dir})

# Who answers for the package; set it to the address of whoever publishes the build.
set(QUORVANE_MAINTAINER "Ostrick <quorvane@example.org>"
    CACHE STRING "Maintainer of the Debian package: name <address>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VENDOR "Ostrick")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "keeps the users of a password-protected web site area")
# Debian's control file: the synopsis and every line of the description under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane keeps the users of a password-protected area of a web site
(logins, passwords, expiry dates) in a users database and exports the
password file the web server reads, to a local file or safely to a
server. It comes with the command-line companion quorvane-cli, for
scripts and scheduled exports.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVANE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies from the shared libraries the programs link (Qt 6, libcurl, ...).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SVG plugins draw the program's icon; nothing links them, so name them here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "apache2-utils")
# Qt's own translations: standard buttons and file dialogs in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# Only the programs and their files; the test and benchmark targets are not installed.
set(CPACK_STRIP_FILES ON)
include(CPack)
