# Installation and the Debian package.
#
#   cmake --install <build> [--prefix /usr/local]
#   cd <build> && cpack            # quorvane_<version>_<arch>.deb
#
# The desktop program lives in lib/quorvane; bin/quorvane is a link to it. Its help page is
# installed once, in share/quorvane/help; lib/quorvane/Quorvane.html links to it, since Help
# Topics opens the page next to the executable, and share/doc/quorvane/html links to its folder,
# where doc-base (which only takes pages below share/doc) registers it. The command-line companion
# goes to bin. The plugins both load (the servers' and the stores' clients) go to
# lib/<multiarch>/quorvane (cmake/Plugins.cmake). The .desktop entry, the icons (SVG, and PNG from
# 16 to 256 pixels rendered from it), the AppStream description and the MIME type of .udx files go
# where desktops and software centres look for them.
#
# QUORVANE_HOMEPAGE names where the project is published. Only when it is set do the package's
# Homepage field, the copyright file's Source and the AppStream web addresses (the homepage and
# the screenshots, expected as HOMEPAGE/screenshots/NAME.png from docs/screenshots) appear.

include(GNUInstallDirs)

set(QUORVANE_HOMEPAGE "" CACHE STRING
    "Web address where the project is published (empty: the package names none)")
# The AppStream component id is a reverse domain name, and a domain is a claim: the project owns
# none, so the default sits under the reserved top-level domain "invalid" (RFC 6761), which no
# one can register. A publisher with a domain of its own sets its id here before the first
# release (a later change needs a <replaces> entry in the description).
set(QUORVANE_APPSTREAM_ID "invalid.ostrick.quorvane" CACHE STRING
    "AppStream component id (reverse domain name); it also names the metainfo file")

set(quorvane_help_source ${PROJECT_SOURCE_DIR}/docs/help/index.html)
set(quorvane_private_dir ${QUORVANE_PRIVATE_DIR})
set(quorvane_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/quorvane)
# Not below share/doc: systems that leave out documentation must still have the program's help.
set(quorvane_help_dir ${CMAKE_INSTALL_DATADIR}/quorvane/help)

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
  install(FILES ${quorvane_help_source} DESTINATION ${quorvane_help_dir})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane.doc-base
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc-base RENAME quorvane)
  install(CODE "
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${root}/${CMAKE_INSTALL_BINDIR}\")
    file(CREATE_LINK ../${quorvane_private_dir}/quorvane \"\${root}/${CMAKE_INSTALL_BINDIR}/quorvane\" SYMBOLIC)
    message(STATUS \"Installing: \${root}/${CMAKE_INSTALL_BINDIR}/quorvane -> ../${quorvane_private_dir}/quorvane\")
    file(CREATE_LINK ../../${quorvane_help_dir}/index.html \"\${root}/${quorvane_private_dir}/Quorvane.html\" SYMBOLIC)
    message(STATUS \"Installing: \${root}/${quorvane_private_dir}/Quorvane.html -> ../../${quorvane_help_dir}/index.html\")
    file(MAKE_DIRECTORY \"\${root}/${quorvane_doc_dir}\")
    file(CREATE_LINK ../../quorvane/help \"\${root}/${quorvane_doc_dir}/html\" SYMBOLIC)
    message(STATUS \"Installing: \${root}/${quorvane_doc_dir}/html -> ../../quorvane/help\")
  ")
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # PNG icons for desktops and software centres that do not draw SVG.
  find_program(QUORVANE_RSVG_CONVERT rsvg-convert REQUIRED)
  set(quorvane_png_icons)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/quorvane.png)
    add_custom_command(
      OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
      COMMAND ${QUORVANE_RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
              ${PROJECT_SOURCE_DIR}/packaging/quorvane.svg
      DEPENDS ${PROJECT_SOURCE_DIR}/packaging/quorvane.svg
      COMMENT "Rendering the ${size} pixel icon")
    list(APPEND quorvane_png_icons ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  # The AppStream description: the release history from the Debian changelog.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(quorvane_metainfo ${CMAKE_BINARY_DIR}/${QUORVANE_APPSTREAM_ID}.metainfo.xml)
  add_custom_command(
    OUTPUT ${quorvane_metainfo}
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/metainfo.py
            ${PROJECT_SOURCE_DIR}/packaging/quorvane.metainfo.xml.in
            ${PROJECT_SOURCE_DIR}/packaging/debian/changelog ${quorvane_metainfo}
            ${QUORVANE_APPSTREAM_ID} ${QUORVANE_HOMEPAGE}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/metainfo.py
            ${PROJECT_SOURCE_DIR}/packaging/quorvane.metainfo.xml.in
            ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    COMMENT "Writing the AppStream description")
  add_custom_target(quorvane_desktop_files ALL DEPENDS ${quorvane_png_icons} ${quorvane_metainfo})
  install(FILES ${quorvane_metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/quorvane-udx.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME quorvane.xml)
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

# The manual pages carry the project's version: made from docs/man/*.1.in into BUILD/man.
foreach(page quorvane.1 quorvane-cli.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
endforeach()
# The changelog is the release history (and the AppStream description's); its newest entry must
# be this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog quorvane_changelog_head LIMIT_COUNT 1)
if(NOT quorvane_changelog_head MATCHES "^quorvane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog starts with \"${quorvane_changelog_head}\"; "
                      "its newest entry must be version ${PROJECT_VERSION} (CMakeLists.txt)")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)

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
    COMMAND ${QUORVANE_GZIP} -9n -c ${CMAKE_BINARY_DIR}/man/${page} > ${CMAKE_BINARY_DIR}/man/${page}.gz
    DEPENDS ${CMAKE_BINARY_DIR}/man/${page}
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
# The copyright file names the published source only when there is one.
file(READ ${PROJECT_SOURCE_DIR}/packaging/debian/copyright quorvane_copyright)
if(QUORVANE_HOMEPAGE)
  string(REPLACE "Upstream-Name: Quorvane\n" "Upstream-Name: Quorvane\nSource: ${QUORVANE_HOMEPAGE}\n"
                 quorvane_copyright "${quorvane_copyright}")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/copyright "${quorvane_copyright}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/debian/copyright)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz ${CMAKE_BINARY_DIR}/copyright
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
# Nothing links these, so name them here: the SVG plugins draw the program's icon, the platform
# plugins (xcb, wayland) let it open a window at all.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-qpa-plugins")
if(QUORVANE_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUORVANE_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "apache2-utils")
# Qt's own translations: standard buttons and file dialogs in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# Only the programs and their files; the test and benchmark targets are not installed.
set(CPACK_STRIP_FILES ON)
include(CPack)
