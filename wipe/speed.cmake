# kor_add_wipe_speed(target): what a target needs once it compiles the pass
# writer (erase_pass.cpp) or the generator (random.cpp): the fast overwrite
# stream, the writer thread and the progress line with its platform half.
include(${CMAKE_CURRENT_LIST_DIR}/fastrandom.cmake)

function(kor_add_wipe_speed target)
  set(d ${KOR_FASTRANDOM_DIR})
  get_target_property(srcs ${target} SOURCES)
  if("${d}/segment_writer.cpp" IN_LIST srcs OR "segment_writer.cpp" IN_LIST srcs)
    return()
  endif()
  kor_add_fastrandom(${target})
  target_sources(${target} PRIVATE ${d}/segment_writer.cpp ${d}/progress.cpp)
  if(WIN32)
    target_sources(${target} PRIVATE ${d}/progress_win32.cpp ${d}/writeback_win32.cpp)
  else()
    target_sources(${target} PRIVATE ${d}/progress_posix.cpp ${d}/writeback_posix.cpp)
  endif()
  # The thread library as a plain flag: this may run from another folder,
  # where an imported Threads target would not be visible.
  find_package(Threads REQUIRED)
  target_link_libraries(${target} PRIVATE ${CMAKE_THREAD_LIBS_INIT})
endfunction()
