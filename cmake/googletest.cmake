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
# program. Natively each test case is its own CTest entry; under Wine the whole program is one
# entry (labelled "wine", in the Wine session), so Wine starts once per program.
function(varneltiff_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    if(ARG_PROPERTIES)
      set_tests_properties(${name} PROPERTIES ${ARG_PROPERTIES})
    endif()
    varneltiff_wine_test(${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                         PROPERTIES TIMEOUT ${VARNELTIFF_TEST_TIMEOUT} ${ARG_PROPERTIES})
  endif()
endfunction()

# varneltiff_wine_test(NAME): makes a CTest entry one that runs in the Wine session.
function(varneltiff_wine_test name)
  set_property(TEST ${name} APPEND PROPERTY FIXTURES_REQUIRED wine)
  set_tests_properties(${name} PROPERTIES LABELS wine TIMEOUT ${VARNELTIFF_WINE_TEST_TIMEOUT})
endfunction()
