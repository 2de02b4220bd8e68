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
    PROPERTIES ENVIRONMENT "KORVANE_TEST=1;ASAN_OPTIONS=detect_leaks=1"
    DISCOVERY_TIMEOUT 60)
endfunction()
