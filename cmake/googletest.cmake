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

# varneltiff_add_test(NAME SOURCES... LIBS libs... PROPERTIES test properties...): one test
# program. Natively each test case is its own CTest entry; under Wine the whole program is one
# entry (labelled "wine"), so Wine starts once per program.
function(varneltiff_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS wine)
    if(ARG_PROPERTIES)
      set_tests_properties(${name} PROPERTIES ${ARG_PROPERTIES})
    endif()
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${ARG_PROPERTIES})
  endif()
endfunction()
