# Test helpers shared by every subsystem's test folder.

if(WIN32)
  # GoogleTest from Debian's sources, cross-built for the Windows test programs.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest 1.12 defines the GTest:: aliases itself.
else()
  find_package(GTest REQUIRED)
endif()

# A test that runs under Wine, labelled "wine", so that a machine that cannot run 32-bit programs
# runs these (and only these) in its emulated guest, where every step takes longer: the time
# limit is scaled by TARLOOM_TEST_TIME_SCALE. Each has prefixes and displays of its own, so they
# can run side by side.
set(TARLOOM_TEST_TIME_SCALE 1 CACHE STRING "Multiplier of the Wine tests' time limits")
# A program run by scripts/wine-run stops itself a little before the limit, so that what it was
# doing can be saved first. The limit is also the cost by which ctest, running them side by side,
# starts the longest first.
function(set_wine_test_properties name seconds)
  math(EXPR limit "${seconds} * ${TARLOOM_TEST_TIME_SCALE}")
  math(EXPR own_limit "${limit} * 9 / 10")
  set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT ${limit} COST ${seconds} ${ARGN})
  set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT TARLOOM_RUN_LIMIT=${own_limit}
               TARLOOM_OVERRUN_DIR=${CMAKE_BINARY_DIR}/overruns)
endfunction()

# A GoogleTest program registered as one ctest test (one process: under Wine a process costs
# about a second, so test cases are not split into separate ctest tests). In the Windows tree
# ctest runs it through the Wine emulator, with a limit of LIMIT seconds (15 unless given):
# about three times what it takes, and over one and a half times with another job on both
# processors.
function(add_unit_test name)
  cmake_parse_arguments(ARG "" "LIMIT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LIMIT)
    set(ARG_LIMIT 15)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    set_wine_test_properties(${name} ${ARG_LIMIT})
  endif()
endfunction()
