# What a GoogleTest source declares, read from its text: used to build a test program from only
# the sources that hold the cases a filter picks (the ThreadSanitizer build), and by
# tests/support/CheckCaseSources.cmake to prove that such a selection misses none.

# quorvane_gtest_declared(VAR SOURCE): the "Suite.Case" of every TEST, TEST_F, TEST_P, TYPED_TEST
# and TYPED_TEST_P in SOURCE, and for value-parameterised suites "Prefix/Suite.Case/" for each
# INSTANTIATE_TEST_SUITE_P of the suite in the same source (the parameter's name follows).
function(quorvane_gtest_declared var source)
  file(READ ${source} text)
  set(space "[ \t\r\n]*")
  set(name "[A-Za-z0-9_]+")
  string(REGEX MATCHALL "INSTANTIATE_TEST_SUITE_P\\(${space}${name}${space},${space}${name}"
    instantiations "${text}")
  string(REGEX MATCHALL "(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\\(${space}${name}${space},${space}${name}"
    declarations "${text}")
  set(cases)
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE "^([A-Z_]+)\\(${space}(${name})${space},${space}(${name})$" "\\1;\\2;\\3"
      parts "${declaration}")
    list(GET parts 0 kind)
    list(GET parts 1 suite)
    list(GET parts 2 case)
    list(APPEND cases "${suite}.${case}")
    if(kind STREQUAL "TEST_P")
      foreach(instantiation IN LISTS instantiations)
        string(REGEX REPLACE "^INSTANTIATE_TEST_SUITE_P\\(${space}(${name})${space},${space}(${name})$"
          "\\1;\\2" pair "${instantiation}")
        list(GET pair 0 prefix)
        list(GET pair 1 instantiated)
        if(instantiated STREQUAL suite)
          list(APPEND cases "${prefix}/${suite}.${case}/")
        endif()
      endforeach()
    endif()
  endforeach()
  set(${var} ${cases} PARENT_SCOPE)
endfunction()

# quorvane_gtest_filter_regex(VAR FILTER): a regular expression matching the full names that
# gtest's --gtest_filter=FILTER runs (':'-separated patterns with '*' and '?'; no '-' part).
function(quorvane_gtest_filter_regex var filter)
  if(filter MATCHES "-")
    message(FATAL_ERROR "quorvane_gtest_filter_regex: negative patterns are not supported (${filter})")
  endif()
  string(REPLACE ":" ";" patterns "${filter}")
  set(alternatives)
  foreach(pattern IN LISTS patterns)
    string(REGEX REPLACE "([.+^$()|])" "\\\\\\1" re "${pattern}")
    string(REPLACE "*" ".*" re "${re}")
    string(REPLACE "?" "." re "${re}")
    list(APPEND alternatives "${re}")
  endforeach()
  list(JOIN alternatives "|" re)
  set(${var} "^(${re})" PARENT_SCOPE)
endfunction()

# quorvane_gtest_sources_for(VAR FILTER SOURCES...): the SOURCES a program running only FILTER
# needs: every source that declares no test (helpers, a main), and every one declaring a case the
# filter may pick. A value-parameterised case is kept when the filter may match its name with any
# parameter's after it; a filter that picks cases by the parameter's name alone is caught by the
# check of the selection (CheckCaseSources.cmake), not here.
function(quorvane_gtest_sources_for var filter)
  quorvane_gtest_filter_regex(re "${filter}")
  set(kept)
  foreach(source IN LISTS ARGN)
    if(NOT source MATCHES "\\.(cpp|cc|cxx)$")
      list(APPEND kept ${source})
      continue()
    endif()
    quorvane_gtest_declared(cases ${source})
    if(NOT cases)
      list(APPEND kept ${source})
      continue()
    endif()
    foreach(case IN LISTS cases)
      # A parameterised name ends in "/": the parameter's name is unknown, so a pattern ending
      # anywhere in it, or in '*', may match.
      if(case MATCHES "/$")
        set(probe "${case}x")
      else()
        set(probe "${case}")
      endif()
      if(probe MATCHES "${re}$" OR (case MATCHES "/$" AND case MATCHES "${re}"))
        list(APPEND kept ${source})
        break()
      endif()
    endforeach()
  endforeach()
  set(${var} ${kept} PARENT_SCOPE)
endfunction()
