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

# The Windows test programs on the default screen run one after another in one running Wine
# session (scripts/wine-session), started before the first and ended after the last: under
# emulation each would otherwise pay Wine's whole start, about 8 s. The end-to-end suites run
# beside them.
if(WIN32)
  add_test(NAME wine_session_start COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session start units)
  add_test(NAME wine_session_stop COMMAND ${PROJECT_SOURCE_DIR}/scripts/wine-session stop units)
  set_wine_test_properties(wine_session_start 60 FIXTURES_SETUP wine_units)
  set_wine_test_properties(wine_session_stop 60 FIXTURES_CLEANUP wine_units)
endif()

# A GoogleTest program registered as one ctest test (one process: under Wine a process costs
# about a second, so test cases are not split into separate ctest tests), in the session above
# unless OWN_PREFIX (a program that changes the prefix for good). In the Windows tree
# ctest runs it through the Wine emulator, with a limit of LIMIT seconds (15 unless given):
# about three times what it takes, and over one and a half times with another job on both
# processors.
function(add_unit_test name)
  cmake_parse_arguments(ARG "OWN_PREFIX" "LIMIT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_LIMIT)
    set(ARG_LIMIT 15)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32 AND ARG_OWN_PREFIX)
    set_wine_test_properties(${name} ${ARG_LIMIT})
  elseif(WIN32)
    set_wine_test_properties(${name} ${ARG_LIMIT} FIXTURES_REQUIRED wine_units RESOURCE_LOCK wine_units)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT TARLOOM_WINE_SESSION=units)
  endif()
endfunction()
