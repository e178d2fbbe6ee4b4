# Multi-buffer SHA-crypt: the dispatcher, the portable lane units and, on x86-64, one unit per
# instruction set, each compiled for that set only and chosen at run time.
set(shamulti_dir ${CMAKE_CURRENT_LIST_DIR})
set(shamulti_kernels ${shamulti_dir}/ShaMultiScalar.cpp ${shamulti_dir}/ShaMultiGeneric.cpp)
target_sources(quorvane_export PRIVATE ${shamulti_dir}/ShaMulti.cpp ${shamulti_kernels})
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  target_sources(quorvane_export PRIVATE ${shamulti_dir}/ShaMultiAvx2.cpp ${shamulti_dir}/ShaMultiAvx512.cpp)
  target_compile_definitions(quorvane_export PRIVATE QUORVANE_SHAMULTI_X86)
  set_source_files_properties(${shamulti_dir}/ShaMultiAvx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2")
  set_source_files_properties(${shamulti_dir}/ShaMultiAvx512.cpp PROPERTIES
    COMPILE_OPTIONS "-mavx512f;-mavx512vl;-mavx512bw")
  list(APPEND shamulti_kernels ${shamulti_dir}/ShaMultiAvx2.cpp ${shamulti_dir}/ShaMultiAvx512.cpp)
endif()
# The lane code is the hot loop of every SHA-crypt export and many times slower unoptimised, so
# it is optimised in every build type (sanitizers still instrument it).
foreach(kernel IN LISTS shamulti_kernels)
  get_source_file_property(kernel_options ${kernel} COMPILE_OPTIONS)
  if(NOT kernel_options)
    set(kernel_options "")
  endif()
  set_source_files_properties(${kernel} PROPERTIES COMPILE_OPTIONS "${kernel_options};-O2")
endforeach()
