# Multi-buffer MD5-crypt: the dispatcher, the portable lane units and, on x86-64, one unit per
# instruction set, each compiled for that set only and chosen at run time.
set(md5multi_dir ${CMAKE_CURRENT_LIST_DIR})
set(md5multi_kernels ${md5multi_dir}/Md5MultiScalar.cpp ${md5multi_dir}/Md5MultiGeneric.cpp)
target_sources(quorvane_export PRIVATE ${md5multi_dir}/Md5Multi.cpp ${md5multi_kernels})
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  target_sources(quorvane_export PRIVATE ${md5multi_dir}/Md5MultiAvx2.cpp ${md5multi_dir}/Md5MultiAvx512.cpp)
  target_compile_definitions(quorvane_export PRIVATE QUORVANE_MD5MULTI_X86)
  set_source_files_properties(${md5multi_dir}/Md5MultiAvx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2")
  set_source_files_properties(${md5multi_dir}/Md5MultiAvx512.cpp PROPERTIES
    COMPILE_OPTIONS "-mavx512f;-mavx512vl;-mavx512bw")
  list(APPEND md5multi_kernels ${md5multi_dir}/Md5MultiAvx2.cpp ${md5multi_dir}/Md5MultiAvx512.cpp)
endif()
# The lane code is the hot loop of every MD5 export and some 50 times slower unoptimised, so it
# is optimised in every build type (sanitizers still instrument it).
foreach(kernel IN LISTS md5multi_kernels)
  get_source_file_property(kernel_options ${kernel} COMPILE_OPTIONS)
  if(NOT kernel_options)
    set(kernel_options "")
  endif()
  set_source_files_properties(${kernel} PROPERTIES COMPILE_OPTIONS "${kernel_options};-O2")
endforeach()
