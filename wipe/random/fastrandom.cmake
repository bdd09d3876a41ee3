# kor_add_fastrandom(target): compiles the fast overwrite stream into target.
#
# The lane kernels are built for their own instruction sets and chosen at run
# time, so the program still starts on a processor without them. MinGW does
# not keep the stack 32-byte aligned for spilled AVX registers, so on Windows
# the assembler turns aligned vector moves into unaligned ones, and the
# 32-bit SSE2 kernel realigns its own stack.
set(KOR_FASTRANDOM_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "the generator's folder, wipe/random")

function(kor_add_fastrandom target)
  set(d ${KOR_FASTRANDOM_DIR})
  target_sources(${target} PRIVATE ${d}/fastrandom.cpp)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
    target_sources(${target} PRIVATE ${d}/fastrandom_x86.cpp ${d}/fastrandom_sse2.cpp ${d}/fastrandom_avx2.cpp ${d}/fastrandom_avx512.cpp)
    set(sse2 -msse2)
    set(avx2 -mavx2)
    set(avx512 -mavx512f -mavx512vl)
    if(WIN32)
      list(APPEND sse2 -Wa,-muse-unaligned-vector-move)
      list(APPEND avx2 -Wa,-muse-unaligned-vector-move)
      list(APPEND avx512 -Wa,-muse-unaligned-vector-move)
      if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        list(APPEND sse2 -mstackrealign)
        list(APPEND avx2 -mstackrealign)
        list(APPEND avx512 -mstackrealign)
      endif()
    endif()
    set_source_files_properties(${d}/fastrandom_sse2.cpp TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS "${sse2}")
    set_source_files_properties(${d}/fastrandom_avx2.cpp TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS "${avx2}")
    set_source_files_properties(${d}/fastrandom_avx512.cpp TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS "${avx512}")
  else()
    target_sources(${target} PRIVATE ${d}/fastrandom_generic.cpp)
  endif()
endfunction()
