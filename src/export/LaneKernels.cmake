# The multi-buffer hash kernels, MD5-crypt and SHA-crypt: for each, its dispatcher, the portable
# lane units and, on x86-64, one unit per instruction set, compiled for that set only and chosen
# at run time. The lane code is the hot loop of every export in those forms and many times
# slower unoptimised, so it is optimised in every build type (sanitizers still instrument it).
# Each lane unit is compiled on its own even in a unity build: its options are its own, and the
# units keep file-local helpers under the same names.
set(lane_dir ${CMAKE_CURRENT_LIST_DIR})
set(lane_x86 OFF)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(lane_x86 ON)
  target_compile_definitions(quorvane_export PRIVATE QUORVANE_LANES_X86)
endif()
foreach(kernel Md5Multi ShaMulti)
  set_source_files_properties(${lane_dir}/${kernel}Scalar.cpp ${lane_dir}/${kernel}Generic.cpp
    PROPERTIES COMPILE_OPTIONS "-O2" SKIP_UNITY_BUILD_INCLUSION ON)
  target_sources(quorvane_export PRIVATE ${lane_dir}/${kernel}.cpp ${lane_dir}/${kernel}Scalar.cpp
    ${lane_dir}/${kernel}Generic.cpp)
  if(lane_x86)
    set_source_files_properties(${lane_dir}/${kernel}Avx2.cpp PROPERTIES COMPILE_OPTIONS "-mavx2;-O2"
      SKIP_UNITY_BUILD_INCLUSION ON)
    set_source_files_properties(${lane_dir}/${kernel}Avx512.cpp PROPERTIES
      COMPILE_OPTIONS "-mavx512f;-mavx512vl;-mavx512bw;-O2" SKIP_UNITY_BUILD_INCLUSION ON)
    target_sources(quorvane_export PRIVATE ${lane_dir}/${kernel}Avx2.cpp ${lane_dir}/${kernel}Avx512.cpp)
  endif()
endforeach()
