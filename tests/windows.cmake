# The Windows programs: cross-built with mingw-w64 in a build of their own, then run by the same
# end-to-end tables under Wine, with their unit tests and their .zip package.
include(ExternalProject)
find_program(WINE64 NAMES wine64 HINTS /usr/lib/wine REQUIRED)
find_program(WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine REQUIRED)
set(SIXJOIN_WINDOWS_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest sources for the Windows unit tests (Debian's googletest package)")
set(SIXJOIN_WINDOWS_XXHASH_HEADER /usr/include/xxhash.h CACHE FILEPATH
    "The xxHash header the Windows programs inline (Debian's libxxhash-dev)")

set(WINDOWS_BUILD ${CMAKE_BINARY_DIR}/mingw)
ExternalProject_Add(windows_programs
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${WINDOWS_BUILD}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
             -DCMAKE_BUILD_TYPE=Release
             -DSIXJOIN_GTEST_SOURCE_DIR=${SIXJOIN_WINDOWS_GTEST_SOURCE_DIR}
             -DSIXJOIN_REQUIRE_TESTS=ON
             -DSIXJOIN_XXHASH_HEADER=${SIXJOIN_WINDOWS_XXHASH_HEADER}
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${WINDOWS_BUILD}/sixjoin.exe ${WINDOWS_BUILD}/spkfix.exe ${WINDOWS_BUILD}/tests/unit_tests.exe)

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(WINE_RUN ${CMAKE_BINARY_DIR}/wine/run)
configure_file(wine/run.in ${WINE_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

target_compile_definitions(program_runner PRIVATE PROGRAM_RUNNER="${WINE_RUN}")
foreach(tests program_tests interop_tests)
  target_compile_definitions(${tests} PRIVATE SIXJOIN_PATH="${WINDOWS_BUILD}/sixjoin.exe"
                                              SPKFIX_PATH="${WINDOWS_BUILD}/spkfix.exe")
  add_dependencies(${tests} windows_programs)
endforeach()

add_test(NAME wine_start COMMAND ${WINE_RUN} --start)
add_test(NAME wine_stop COMMAND ${WINE_RUN} --stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

add_test(NAME windows_unit_tests COMMAND ${WINE_RUN} ${WINDOWS_BUILD}/tests/unit_tests.exe)
add_test(NAME windows_zip COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine/zip_check.sh ${WINDOWS_BUILD} ${WINE_RUN}
                                  $<TARGET_FILE:make_take>)
# A console of the program's own, which Wine gives a program started from a terminal.
add_test(NAME windows_own_console_sixjoin COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine/console_check.sh ${WINE_RUN}
                                                  ${WINDOWS_BUILD}/sixjoin.exe 73)
add_test(NAME windows_own_console_spkfix COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/wine/console_check.sh ${WINE_RUN}
                                                 ${WINDOWS_BUILD}/spkfix.exe 55)
set_tests_properties(windows_unit_tests windows_zip windows_own_console_sixjoin windows_own_console_spkfix
                     PROPERTIES FIXTURES_REQUIRED wine)
gtest_discover_tests(program_tests TEST_FILTER "-LongTake.*:Calls/FaultSweep.*" PROPERTIES FIXTURES_REQUIRED wine)
gtest_discover_tests(program_tests TEST_FILTER "LongTake.*" PROPERTIES FIXTURES_REQUIRED wine LABELS long TIMEOUT 900)
gtest_discover_tests(interop_tests PROPERTIES FIXTURES_REQUIRED wine)
