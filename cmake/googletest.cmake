# GoogleTest: the system package natively; built from Debian's sources for the Win32 cross build.
if(CMAKE_CROSSCOMPILING)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_gtest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# Every test ends: a native test program within 5 minutes; a Windows one within the limit its
# Wine runner sets (cmake/wine_run.sh), and CTest's own limit behind that.
set(VARNELTIFF_TEST_TIMEOUT 300)
set(VARNELTIFF_WINE_TEST_TIMEOUT 1900)

# varneltiff_add_test(NAME SOURCES... LIBS libs... PROPERTIES test properties...): one test
# program. Natively each program is built and each of its test cases is its own CTest entry.
# For Windows every program is an object library linked into the one runner `windows_tests`
# beside the DLL, which is a single CTest entry in each Wine session, so that Wine starts once for
# all of them. Properties of the programs (fixtures) go to the runner's entries.
function(varneltiff_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    add_library(${name} OBJECT ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} GTest::gtest)
    varneltiff_windows_runner()
    target_link_libraries(windows_tests PRIVATE ${name})
    # Each program's properties add to the runner's (its fixtures join the others').
    while(ARG_PROPERTIES)
      list(POP_FRONT ARG_PROPERTIES property value)
      varneltiff_wine_test_property(windows_tests ${property} ${value})
    endwhile()
  else()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES TIMEOUT ${VARNELTIFF_TEST_TIMEOUT} ${ARG_PROPERTIES})
  endif()
endfunction()

# The Windows test runner and its CTest entries (one in each kind of Wine prefix, see
# cmake/wine.cmake), made by the first test program that needs them.
macro(varneltiff_windows_runner)
  if(NOT TARGET windows_tests)
    add_executable(windows_tests)
    target_link_libraries(windows_tests PRIVATE GTest::gtest_main)
    set_target_properties(windows_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    add_dependencies(windows_tests varneltiff)
    varneltiff_add_wine_test(windows_tests windows_tests)
  endif()
endmacro()
