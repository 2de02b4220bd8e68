# Shared helpers for every folder of the tree.

# Warnings as errors on our own code only.
# GCC 12's -Wrestrict reports overlaps inside libstdc++'s own string code at -O2 and
# above (a known false positive), so it is left out there. The fuzz build (clang) warns
# but does not fail: the GCC builds hold the code to warnings as errors.
function(korvane_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra
    $<$<NOT:$<BOOL:${KORVANE_FUZZ}>>:-Werror>
    $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
endfunction()

# korvane_test(NAME SOURCES a.cpp b.cpp LIBS x y)
# One GoogleTest binary per test folder; each test case becomes a CTest entry.
function(korvane_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/testsupport/lsan_suppressions.cpp)
  korvane_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${KORVANE_BIN_DIR}
    PROPERTIES ENVIRONMENT "KORVANE_TEST=1;KORVANE_HEADLESS=1;ASAN_OPTIONS=detect_leaks=1"
    DISCOVERY_TIMEOUT 60)
endfunction()

# korvane_add_folders(a b ... [OPTIONAL x y ...])
# Adds the named folders below the current one, in order. A named folder without its
# CMakeLists.txt, or a folder with one that is named nowhere, stops the configuration,
# so that no folder drops out of the build unseen. OPTIONAL names folders that join on
# an option elsewhere; they are checked here but not added. tests/ is each folder's own.
macro(korvane_add_folders)
  cmake_parse_arguments(KVF "" "" "OPTIONAL" ${ARGN})
  foreach(kvf_dir IN LISTS KVF_UNPARSED_ARGUMENTS KVF_OPTIONAL)
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${kvf_dir}/CMakeLists.txt)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${kvf_dir}/CMakeLists.txt is missing")
    endif()
  endforeach()
  file(GLOB kvf_found RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(kvf_file IN LISTS kvf_found)
    get_filename_component(kvf_dir ${kvf_file} DIRECTORY)
    if(NOT kvf_dir STREQUAL "tests" AND NOT kvf_dir IN_LIST KVF_UNPARSED_ARGUMENTS
       AND NOT kvf_dir IN_LIST KVF_OPTIONAL)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${kvf_dir} has a CMakeLists.txt but is not "
                          "named in ${CMAKE_CURRENT_LIST_FILE}")
    endif()
  endforeach()
  foreach(kvf_dir IN LISTS KVF_UNPARSED_ARGUMENTS)
    add_subdirectory(${kvf_dir})
  endforeach()
endmacro()

# korvane_hot_text(target): the functions of the print road (cmake/hot_text.txt, written by
# scripts/hot-text) and every start-up function are laid out first in the target's code,
# in a section of their own. Code is read in 64 KB around each page a process runs, so the
# road's functions packed together cost a print job far fewer resident pages. Every
# function has a section of its own (-ffunction-sections) for this; a listed section the
# target does not have is passed over.
function(korvane_hot_text target)
  set(list ${CMAKE_SOURCE_DIR}/cmake/hot_text.txt)
  set(script ${CMAKE_BINARY_DIR}/hot_text.ld)
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  file(STRINGS ${list} sections)
  list(TRANSFORM sections PREPEND "    *(")
  list(TRANSFORM sections APPEND ")")
  list(JOIN sections "\n" body)
  # Written only when it changes, so that configuring again does not relink.
  file(CONFIGURE OUTPUT ${script} @ONLY CONTENT
    "SECTIONS\n{\n  .text.road :\n  {\n    *(.text.startup .text.startup.*)\n${body}\n  }\n}\nINSERT BEFORE .text;\n")
  target_link_options(${target} PRIVATE LINKER:-T,${script})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script})
endfunction()
