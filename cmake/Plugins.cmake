# Plugins: the parts that talk to servers and stores, each a loadable module with one entry
# (extern "C"), loaded on first use from one fixed folder (base/Plugins.h): BUILD/plugins for
# the programs of the build tree, PREFIX/lib/<multiarch>/quorvane once installed (where Debian
# keeps a package's private libraries; PREFIX/lib/quorvane/plugins where the compiler names no
# multiarch folder), next to neither of the folders the desktop program (PREFIX/lib/quorvane)
# and quorvane-cli (PREFIX/bin) live in. Built by the same compiler
# with the same flags and hardening as the programs; the static libraries they take in stay
# their own (nothing but the entry is exported), and every symbol is bound when they load.
set(QUORVANE_PRIVATE_DIR lib/quorvane)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(QUORVANE_PLUGIN_DIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/quorvane)
else()
  set(QUORVANE_PLUGIN_DIR lib/quorvane/plugins)
endif()
function(quorvane_add_plugin name)
  add_library(${name} MODULE ${ARGN})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/plugins
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE quorvane_options)
  target_link_options(${name} PRIVATE LINKER:--exclude-libs,ALL)
  # Every symbol found at link time (Clang's sanitizers leave theirs to the program).
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_link_options(${name} PRIVATE LINKER:--no-undefined)
  endif()
  install(TARGETS ${name} LIBRARY DESTINATION ${QUORVANE_PLUGIN_DIR}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()
