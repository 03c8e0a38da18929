# The Windows build's tests run under Wine: every test program through cmake/wine_run.sh, inside
# one session (the prefix, its server and an X display) that a CTest fixture starts before the
# first and stops after the last, so `ctest --preset win32` needs nothing started beforehand.
set(VARNELTIFF_WINE_SESSION "${CMAKE_BINARY_DIR}/wine-session")
set(CMAKE_CROSSCOMPILING_EMULATOR
    "${PROJECT_SOURCE_DIR}/cmake/wine_run.sh;${VARNELTIFF_WINE_SESSION}")

add_test(NAME wine_session_start
         COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh start ${VARNELTIFF_WINE_SESSION})
add_test(NAME wine_session_stop
         COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh stop ${VARNELTIFF_WINE_SESSION})
# A new prefix boots in seconds natively and in about 20 minutes under qemu-user.
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 3600)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)
