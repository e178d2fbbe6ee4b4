# Proves that a selection of a test program's sources holds every case a filter picks: the
# ThreadSanitizer build makes its programs from such a selection (quorvane_gtest_sources_for),
# and a case in a source it left out would never run there, silently. Runs the whole program
#   cmake -DPROGRAM=... -DFILTER=... -DSOURCES_FILE=... -DMODULE=.../GTestCases.cmake -P CheckCaseSources.cmake
# with --gtest_list_tests and the filter, and fails when the filter picks nothing (a renamed
# case) or picks a case that none of the selected sources (listed one per line in SOURCES_FILE)
# declares.
cmake_minimum_required(VERSION 3.25)
include(${MODULE})

execute_process(COMMAND ${PROGRAM} --gtest_list_tests --gtest_filter=${FILTER}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --gtest_list_tests failed (${status})")
endif()

file(STRINGS ${SOURCES_FILE} sources)
set(declared)
foreach(source IN LISTS sources)
  quorvane_gtest_declared(cases ${source})
  list(APPEND declared ${cases})
endforeach()

# gtest lists "Suite." (or "Prefix/Suite.", "Suite/0.", "Prefix/Suite/0.") and then each case
# indented ("  Case" or "  Case/0  # GetParam() = ...").
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
set(picked 0)
set(missing)
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_/]+)\\.$")
    string(REGEX REPLACE "(/[0-9]+)+$" "" suite "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "^.*/" "" suite "${suite}")
  elseif(line MATCHES "^  ([A-Za-z0-9_]+)" AND suite)
    math(EXPR picked "${picked} + 1")
    if(NOT "${suite}.${CMAKE_MATCH_1}" IN_LIST declared)
      list(APPEND missing "${suite}.${CMAKE_MATCH_1}")
    endif()
  endif()
endforeach()

if(picked EQUAL 0)
  message(FATAL_ERROR "the filter ${FILTER} picks no case of ${PROGRAM}")
endif()
if(missing)
  list(REMOVE_DUPLICATES missing)
  list(JOIN missing "\n  " missing)
  message(FATAL_ERROR "the filter ${FILTER} picks cases that the selected sources do not hold:\n"
    "  ${missing}\nSelected:\n  ${sources}")
endif()
message(STATUS "${picked} case(s) picked by ${FILTER}, all in the selected sources")
