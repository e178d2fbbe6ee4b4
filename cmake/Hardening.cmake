# The hardening a distribution expects of its binaries: stack protector, fortified libc calls,
# read-only relocations bound at start (RELRO and BIND_NOW), position-independent executables.
#
# Optimised builds take the flags from Debian's dpkg-buildflags (with every hardening feature
# on), exactly as a package build would; where dpkg-buildflags is missing the same flags are
# set by hand. _FORTIFY_SOURCE needs optimisation, so an unoptimised (Debug) build gets all
# but that. Sanitizer and fuzzing builds are left alone: their runtimes bring their own checks
# and do not mix with fortified calls.

option(QUORVANE_HARDEN "Build with the distribution's hardening flags" ON)

if(NOT QUORVANE_HARDEN OR QUORVANE_SANITIZE OR QUORVANE_FUZZ OR QUORVANE_TSAN)
  return()
endif()

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()

set(quorvane_optimised_build TRUE)
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(quorvane_optimised_build FALSE)
endif()

find_program(QUORVANE_DPKG_BUILDFLAGS dpkg-buildflags)
set(quorvane_hardening_cxx "")
set(quorvane_hardening_cpp "")
set(quorvane_hardening_ld "")
if(QUORVANE_DPKG_BUILDFLAGS)
  foreach(kind CXXFLAGS CPPFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${QUORVANE_DPKG_BUILDFLAGS} --get ${kind}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # The build type chooses optimisation and debug information.
    list(FILTER flags EXCLUDE REGEX "^-O[0-9s]?$|^-g$")
    if(kind STREQUAL "CXXFLAGS")
      set(quorvane_hardening_cxx ${flags})
    elseif(kind STREQUAL "CPPFLAGS")
      set(quorvane_hardening_cpp ${flags})
    else()
      set(quorvane_hardening_ld ${flags})
    endif()
  endforeach()
else()
  set(quorvane_hardening_cxx -fstack-protector-strong -Wformat -Werror=format-security)
  set(quorvane_hardening_cpp -D_FORTIFY_SOURCE=2)
  set(quorvane_hardening_ld -Wl,-z,relro -Wl,-z,now)
endif()

# Debian 12's dpkg-buildflags leaves stack-clash protection to the compiler's default, which
# GCC 12 does not turn on. (Control-flow protection is left out: Debian 12's C start-up files
# are built without it, so the linker would drop it from every program anyway.)
include(CheckCXXCompilerFlag)
foreach(flag -fstack-clash-protection)
  string(MAKE_C_IDENTIFIER "quorvane_has${flag}" has_flag)
  check_cxx_compiler_flag(${flag} ${has_flag})
  if(${has_flag} AND NOT flag IN_LIST quorvane_hardening_cxx)
    list(APPEND quorvane_hardening_cxx ${flag})
  endif()
endforeach()

if(NOT quorvane_optimised_build)
  list(FILTER quorvane_hardening_cpp EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
endif()

add_compile_options(${quorvane_hardening_cxx} ${quorvane_hardening_cpp})
add_link_options(${quorvane_hardening_ld})
message(STATUS "Hardening: ${quorvane_hardening_cxx} ${quorvane_hardening_cpp} ${quorvane_hardening_ld}")
