# Installs the build into a scratch DESTDIR and checks the layout the desktop and the Debian
# package rely on. Called by CTest with BUILD_DIR, SCRATCH, APPSTREAM_ID and PLUGIN_DIR set.
if(NOT BUILD_DIR OR NOT SCRATCH OR NOT APPSTREAM_ID OR NOT PLUGIN_DIR)
  message(FATAL_ERROR "BUILD_DIR, SCRATCH, APPSTREAM_ID and PLUGIN_DIR must be given")
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
    ${PLUGIN_DIR}/quorvane-stores.so
    ${PLUGIN_DIR}/quorvane-transfers.so
    ${PLUGIN_DIR}/quorvane-crypto.so
    share/quorvane/help/index.html
    share/doc-base/quorvane
    share/metainfo/${APPSTREAM_ID}.metainfo.xml
    bin/quorvane-cli
    share/applications/quorvane.desktop
    share/icons/hicolor/scalable/apps/quorvane.svg
    share/mime/packages/quorvane.xml
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
# The help page once: the program's copy is a link to it, and doc-base names it.
if(NOT IS_SYMLINK "${root}/lib/quorvane/Quorvane.html" OR NOT EXISTS "${root}/lib/quorvane/Quorvane.html")
  message(FATAL_ERROR "lib/quorvane/Quorvane.html is not a working link to the help page")
endif()
file(READ "${root}/share/doc-base/quorvane" docbase)
string(REGEX MATCHALL "/usr/share/[^ \n]*" docbase_files "${docbase}")
foreach(file ${docbase_files})
  if(NOT EXISTS "${SCRATCH}${file}")
    message(FATAL_ERROR "doc-base names ${file}, which is not installed")
  endif()
endforeach()
# A PNG icon per size, of that size (the PNG header holds the width and height).
foreach(size 16 22 24 32 48 64 128 256)
  set(png "${root}/share/icons/hicolor/${size}x${size}/apps/quorvane.png")
  if(NOT EXISTS "${png}")
    message(FATAL_ERROR "not installed: the ${size} pixel icon")
  endif()
  file(READ "${png}" header LIMIT 24 HEX)
  math(EXPR hex_size "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${hex_size}" 2 -1 hex_size)
  string(LENGTH "${hex_size}" len)
  while(len LESS 8)
    string(PREPEND hex_size "0")
    string(LENGTH "${hex_size}" len)
  endwhile()
  if(NOT header STREQUAL "89504e470d0a1a0a0000000d49484452${hex_size}${hex_size}")
    message(FATAL_ERROR "the ${size} pixel icon is not a ${size}x${size} PNG: ${header}")
  endif()
endforeach()
# The software centre's entry starts the desktop entry that is installed.
file(READ "${root}/share/metainfo/${APPSTREAM_ID}.metainfo.xml" metainfo)
string(REGEX MATCH "<launchable type=\"desktop-id\">([^<]*)</launchable>" _ "${metainfo}")
if(NOT EXISTS "${root}/share/applications/${CMAKE_MATCH_1}")
  message(FATAL_ERROR "the AppStream description launches ${CMAKE_MATCH_1}, which is not installed")
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
