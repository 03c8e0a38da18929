# The Windows build's tests run under Wine twice, once in each kind of prefix (cmake/wine_env.sh):
# win32, as on 32-bit Windows, and wow64, the 32-bit DLL in a WoW64 process as on 64-bit Windows.
# Each kind has its own session (the prefix, its server and an X display) that a CTest fixture
# starts before its first test and stops after its last, so `ctest --preset win32` needs nothing
# started beforehand and runs both; `-L wine-win32` or `-L wine-wow64` picks one kind.
set(VARNELTIFF_WINE_KINDS win32 wow64)
set(VARNELTIFF_WINE_SESSIONS "${CMAKE_BINARY_DIR}/wine-session")

foreach(kind ${VARNELTIFF_WINE_KINDS})
  foreach(action start stop)
    add_test(NAME wine_session_${action}_${kind}
             COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh ${action}
                     ${VARNELTIFF_WINE_SESSIONS}/${kind})
  endforeach()
  # A new prefix boots in seconds natively, in minutes under an old qemu-user.
  set_tests_properties(wine_session_start_${kind} PROPERTIES FIXTURES_SETUP wine_${kind}
                       LABELS "wine-${kind}" TIMEOUT 3600)
  set_tests_properties(wine_session_stop_${kind} PROPERTIES FIXTURES_CLEANUP wine_${kind}
                       LABELS "wine-${kind}" TIMEOUT 120)
endforeach()

# varneltiff_add_wine_test(NAME TARGET [ARGUMENTS...]): the Windows program TARGET run once in
# each session, as the CTest entries NAME_win32 and NAME_wow64. Inside ARGUMENTS, @KIND@ stands
# for the kind; the program finds it in VARNELTIFF_WINE_KIND.
function(varneltiff_add_wine_test name target)
  foreach(kind ${VARNELTIFF_WINE_KINDS})
    string(REPLACE "@KIND@" "${kind}" arguments "${ARGN}")
    add_test(NAME ${name}_${kind}
             COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_run.sh ${VARNELTIFF_WINE_SESSIONS}/${kind}
                     $<TARGET_FILE:${target}> ${arguments})
    set_tests_properties(${name}_${kind} PROPERTIES
      FIXTURES_REQUIRED wine_${kind} LABELS "wine;wine-${kind}"
      ENVIRONMENT VARNELTIFF_WINE_KIND=${kind} TIMEOUT ${VARNELTIFF_WINE_TEST_TIMEOUT})
  endforeach()
endfunction()

# varneltiff_wine_test_property(NAME PROPERTY VALUE...): appends to a property of both entries.
function(varneltiff_wine_test_property name property)
  foreach(kind ${VARNELTIFF_WINE_KINDS})
    string(REPLACE "@KIND@" "${kind}" values "${ARGN}")
    set_property(TEST ${name}_${kind} APPEND PROPERTY ${property} ${values})
  endforeach()
endfunction()
