# Installs the build into a scratch DESTDIR and checks the layout the desktop and the Debian
# package rely on. Called by CTest with BUILD_DIR and SCRATCH set.
if(NOT BUILD_DIR OR NOT SCRATCH)
  message(FATAL_ERROR "BUILD_DIR and SCRATCH must be given")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${SCRATCH} ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
set(root "${SCRATCH}/usr")
foreach(file
    lib/quorvane/quorvane
    lib/quorvane/Quorvane.html
    bin/quorvane-cli
    share/applications/quorvane.desktop
    share/icons/hicolor/scalable/apps/quorvane.svg
    share/mime/packages/quorvane.xml
    share/doc/quorvane/help/index.html
    share/doc/quorvane/copyright
    share/doc/quorvane/changelog.gz
    share/doc/quorvane/examples/quorvane-export.service
    share/doc/quorvane/examples/quorvane-export.timer
    share/man/man1/quorvane.1.gz
    share/man/man1/quorvane-cli.1.gz
    share/bash-completion/completions/quorvane-cli
    share/quorvane/translations/quorvane_de.qm)
  if(NOT EXISTS "${root}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(NOT IS_SYMLINK "${root}/bin/quorvane")
  message(FATAL_ERROR "bin/quorvane is not a link to the program")
endif()
file(READ_SYMLINK "${root}/bin/quorvane" target)
if(NOT target STREQUAL "../lib/quorvane/quorvane")
  message(FATAL_ERROR "bin/quorvane points at ${target}")
endif()
file(READ "${root}/share/mime/packages/quorvane.xml" mime)
if(NOT mime MATCHES "application/x-quorvane-udx" OR NOT mime MATCHES "\\*\\.udx")
  message(FATAL_ERROR "the MIME type of .udx files is missing")
endif()
file(READ "${root}/share/applications/quorvane.desktop" entry)
if(NOT entry MATCHES "Exec=quorvane" OR NOT entry MATCHES "MimeType=application/x-quorvane-udx;")
  message(FATAL_ERROR "the desktop entry does not start the program for .udx files")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
