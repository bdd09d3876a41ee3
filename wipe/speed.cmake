# kor_add_wipe_speed(target): what a target needs once it compiles the pass
# writer (erase_pass.cpp) or the generator (random.cpp): the fast overwrite
# stream, the writer thread and the progress line with its platform half.
include(${CMAKE_CURRENT_LIST_DIR}/random/fastrandom.cmake)

# The rooms of wipe/, one concern each; their headers are included by bare
# name, so every target that compiles wipe/ sources takes all of them.
set(KOR_WIPE_DIR ${CMAKE_CURRENT_LIST_DIR} CACHE INTERNAL "the wipe/ folder")
set(KOR_WIPE_INCLUDES
  ${KOR_WIPE_DIR}/cli ${KOR_WIPE_DIR}/erase ${KOR_WIPE_DIR}/walk ${KOR_WIPE_DIR}/random
  ${KOR_WIPE_DIR}/os ${KOR_WIPE_DIR}/names CACHE INTERNAL "include folders of wipe/")

function(kor_add_wipe_speed target)
  set(d ${KOR_WIPE_DIR})
  get_target_property(srcs ${target} SOURCES)
  if("${d}/erase/segment_writer.cpp" IN_LIST srcs)
    return()
  endif()
  kor_add_fastrandom(${target})
  target_include_directories(${target} PRIVATE ${KOR_WIPE_INCLUDES})
  target_sources(${target} PRIVATE ${d}/erase/segment_writer.cpp ${d}/erase/progress.cpp)
  if(WIN32)
    target_sources(${target} PRIVATE ${d}/erase/progress_win32.cpp ${d}/os/writeback_win32.cpp)
  else()
    target_sources(${target} PRIVATE ${d}/erase/progress_posix.cpp ${d}/os/writeback_posix.cpp)
  endif()
  # The thread library as a plain flag: this may run from another folder,
  # where an imported Threads target would not be visible.
  find_package(Threads REQUIRED)
  target_link_libraries(${target} PRIVATE ${CMAKE_THREAD_LIBS_INIT})
endfunction()
