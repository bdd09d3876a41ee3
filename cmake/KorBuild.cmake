# Shared build helpers.
#
# KOR_NATIVE  true for the Linux host build, KOR_WINDOWS for both MinGW builds.
# KOR_WINE_TESTS  true for the build whose programs the Wine tests run (win64).
# KOR_WINE32_TESTS  true for the shipped 32-bit build (win32), whose programs the
#   "wine32" tests run under 32-bit Wine (loader KOR_WINE32_LOADER, win32
#   prefixes); they skip themselves where 32-bit programs cannot run.

find_program(KOR_PYTHON NAMES python3 REQUIRED)

if(WIN32)
  set(KOR_WINDOWS TRUE)
  set(KOR_NATIVE FALSE)
  # Every shipped .exe runs on a bare Windows: no MinGW runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_options(-Wall -Wextra)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KOR_WINE_TESTS TRUE)
    set(KOR_WINE32_TESTS FALSE)
  else()
    set(KOR_WINE_TESTS FALSE)
    set(KOR_WINE32_TESTS TRUE)
  endif()
else()
  set(KOR_WINDOWS FALSE)
  set(KOR_NATIVE TRUE)
  set(KOR_WINE_TESTS FALSE)
  set(KOR_WINE32_TESTS FALSE)
  add_compile_options(-Wall -Wextra)
endif()

# Anyone who builds the same commit gets the same programs, byte for byte
# (scripts/package.sh; label "reproducible"). Paths of the checkout and the
# build folder are recorded relative to them wherever the compiler would
# write them (__FILE__, debug information, and through the latter the
# native programs' build id). The binary folder is named last so that GCC,
# which tries the last map first, sees it before the source folder that
# usually holds it.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
if(KOR_WINDOWS)
  # MinGW's linker writes the link time into the PE header (and the checksum
  # over it). No time at all, rather than SOURCE_DATE_EPOCH: make keeps a
  # program linked under an earlier stamp, so a stamp taken at link time would
  # depend on what the build folder held before.
  add_link_options(-Wl,--no-insert-timestamp)
endif()

# What the version resources and the packages say about the product.
set(KOR_PRODUCT "Korvanel Ostrel")
set(KOR_COMPANY "Korvanel")
set(KOR_COPYRIGHT "Copyright (C) 2026 Korvanel")

if(KOR_WINDOWS)
  enable_language(RC)
endif()

# kor_harden(target): Linux only, the compile half of the hardening below, for
# a program's own sources and for a library that a shipped program links.
function(kor_harden target)
  if(KOR_NATIVE)
    target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
  endif()
endfunction()

# kor_shipped_program(target "description" [MANIFEST])
#
# For the programs users get. Windows: a version resource (shown in the
# file's properties) with the project version, the product and company names
# and the description; the presentation keeps its own resource script
# untouched, this is a separate script linked beside it. MANIFEST adds the
# application manifest of cmake/program.manifest.in (run as the invoker,
# Windows 7 to 11), for programs that have none of their own. A release
# build (MinSizeRel: the shipped win32 preset) is linked without symbols or
# debug sections. Linux: the
# hardening Debian expects of packaged programs (checked buffer functions,
# stack protector, read-only relocations bound at start).
function(kor_shipped_program target description)
  if(KOR_NATIVE)
    kor_harden(${target})
    target_link_options(${target} PRIVATE -Wl,-z,relro -Wl,-z,now)
    return()
  endif()
  # The static MinGW runtimes bring their own debug sections and symbols:
  # a release build ships without them.
  target_link_options(${target} PRIVATE $<$<CONFIG:MinSizeRel,Release>:-s>)
  set(KOR_VERSION_PROGRAM ${target})
  set(KOR_VERSION_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if("MANIFEST" IN_LIST ARGN)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      set(KOR_MANIFEST_ARCH amd64)
    else()
      set(KOR_MANIFEST_ARCH X86)
    endif()
    set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/program.manifest.in ${manifest} @ONLY)
    # Resource 1 of type 24: the manifest the loader reads for a program.
    set(manifest_rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
    # Replaced only when its text changes: a new time stamp on every
    # configure would compile it again and relink the program.
    file(WRITE ${manifest_rc}.new "1 24 \"${manifest}\"\n")
    file(COPY_FILE ${manifest_rc}.new ${manifest_rc} ONLY_IF_DIFFERENT)
    set_source_files_properties(${manifest_rc} PROPERTIES OBJECT_DEPENDS ${manifest})
    target_sources(${target} PRIVATE ${manifest_rc})
  endif()
endfunction()

set(KOR_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

# kor_unit_test(NAME name SOURCES src... [INCLUDES dir...] [LIBS lib...] [LABELS label...])
#
# Native only. Builds the GoogleTest program twice, plainly and under
# AddressSanitizer + UndefinedBehaviorSanitizer, and registers both with the
# label "unit". SOURCES holds the tests and any sources under test, so that the
# sanitizer build instruments them too; a library in LIBS that has a
# sanitizer build (korwipe_core_san) is linked as that.
function(kor_unit_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;INCLUDES;LIBS;LABELS" ${ARGN})
  if(NOT KOR_NATIVE)
    return()
  endif()
  find_package(GTest REQUIRED)
  foreach(variant plain san)
    if(variant STREQUAL "plain")
      set(target ${T_NAME})
    else()
      set(target ${T_NAME}_san)
    endif()
    # A library with a sanitizer build of its own (name_san) is linked as that.
    set(libs)
    foreach(lib ${T_LIBS})
      if(variant STREQUAL "san" AND TARGET ${lib}_san)
        list(APPEND libs ${lib}_san)
      else()
        list(APPEND libs ${lib})
      endif()
    endforeach()
    add_executable(${target} ${T_SOURCES})
    target_include_directories(${target} PRIVATE ${T_INCLUDES})
    target_link_libraries(${target} PRIVATE GTest::gtest_main ${libs})
    if(variant STREQUAL "san")
      target_compile_options(${target} PRIVATE ${KOR_SANITIZE_FLAGS})
      target_link_options(${target} PRIVATE ${KOR_SANITIZE_FLAGS})
    endif()
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS "unit;${T_LABELS}"
      ENVIRONMENT "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1;ASAN_OPTIONS=detect_leaks=1")
  endforeach()
endfunction()

# kor_py_test(NAME name SCRIPT file LABEL label [ARGS arg...] [TIMEOUT s] [WINE])
#
# Registers an integration test written in Python (standard library only).
# WINE tests share one template Wine prefix per ctest run (fixture
# "wineprefix"), which each test copies into a prefix of its own. In the win32
# build they run under 32-bit Wine instead (see kor_wine32_test_env).
function(kor_py_test)
  cmake_parse_arguments(T "WINE" "NAME;SCRIPT;LABEL;TIMEOUT" "ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${KOR_PYTHON} ${T_SCRIPT} ${T_ARGS})
  set(env "PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/harness;PYTHONDONTWRITEBYTECODE=1;KOR_SOURCE_DIR=${CMAKE_SOURCE_DIR};KOR_BUILD_DIR=${CMAKE_BINARY_DIR}")
  if(T_WINE)
    list(APPEND env "KOR_WINE_TEMPLATE=${CMAKE_BINARY_DIR}/wine-template")
    if(KOR_WINE32_TESTS)
      kor_wine32_test_env(${T_NAME} env)
    else()
      set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED wineprefix)
    endif()
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABEL}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()

# The template Wine prefix: made once per ctest run, removed at its end.
function(kor_wine_fixture)
  if(KOR_WINE32_TESTS)
    kor_wine32_fixture()
    return()
  endif()
  if(TEST kor_wine_prefix_setup)
    return()
  endif()
  add_test(NAME kor_wine_prefix_setup
    COMMAND ${KOR_PYTHON} ${CMAKE_SOURCE_DIR}/tests/harness/wine.py make-template ${CMAKE_BINARY_DIR}/wine-template)
  add_test(NAME kor_wine_prefix_cleanup
    COMMAND ${KOR_PYTHON} ${CMAKE_SOURCE_DIR}/tests/harness/wine.py remove-template ${CMAKE_BINARY_DIR}/wine-template)
  set_tests_properties(kor_wine_prefix_setup PROPERTIES FIXTURES_SETUP wineprefix LABELS "wine;gui" TIMEOUT 300)
  set_tests_properties(kor_wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wineprefix LABELS "wine;gui" TIMEOUT 120)
endfunction()

# ---- 32-bit Wine (win32 build, label "wine32") -----------------------------
# The same test scripts as the 64-bit ones, told through the environment to
# use the 32-bit loader and win32 prefixes, with a template of their own
# (fixture "wineprefix32", in this build folder). Where the loader cannot run,
# the harness prints "SKIP: <why>" and exits with 77: skipped, not passed.
set(KOR_WINE32_LOADER /usr/lib/wine/wine CACHE FILEPATH "32-bit Wine loader for the wine32 tests")

function(kor_wine32_test_env name env_var)
  set(env ${${env_var}})
  list(APPEND env "KOR_WINE_LOADER=${KOR_WINE32_LOADER}" "KOR_WINE_ARCH=win32")
  set(${env_var} ${env} PARENT_SCOPE)
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wineprefix32 SKIP_RETURN_CODE 77)
endfunction()

function(kor_wine32_fixture)
  if(TEST kor_wine32_prefix_setup)
    return()
  endif()
  set(script ${CMAKE_SOURCE_DIR}/tests/harness/wine.py)
  set(env "KOR_WINE_LOADER=${KOR_WINE32_LOADER}" "KOR_WINE_ARCH=win32")
  add_test(NAME kor_wine32_prefix_setup COMMAND ${KOR_PYTHON} ${script} make-template ${CMAKE_BINARY_DIR}/wine-template)
  add_test(NAME kor_wine32_prefix_cleanup COMMAND ${KOR_PYTHON} ${script} remove-template ${CMAKE_BINARY_DIR}/wine-template)
  set_tests_properties(kor_wine32_prefix_setup PROPERTIES FIXTURES_SETUP wineprefix32 LABELS wine32
    TIMEOUT 300 SKIP_RETURN_CODE 77 ENVIRONMENT "${env}")
  set_tests_properties(kor_wine32_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wineprefix32 LABELS wine32
    TIMEOUT 120 ENVIRONMENT "${env}")
endfunction()

# Adds every direct subfolder of the current source folder that has a
# CMakeLists.txt, in name order, so that areas can be added independently.
macro(kor_add_subfolders)
  file(GLOB _kor_subs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _kor_subs)
  foreach(_kor_sub ${_kor_subs})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_kor_sub} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_kor_sub}/CMakeLists.txt)
      add_subdirectory(${_kor_sub})
    endif()
  endforeach()
endmacro()
