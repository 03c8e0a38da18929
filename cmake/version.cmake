# The one version of the project (project() in the top CMakeLists.txt) and its makers, handed to
# the code through a generated header, to the Windows programs through their version resources,
# and to the package script through the file VERSION in the build tree.
set(VARNELTIFF_AUTHORS "The VarnelTiff developers")
set(VARNELTIFF_COPYRIGHT "Copyright (C) 2026 ${VARNELTIFF_AUTHORS}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${CMAKE_BINARY_DIR}/generated/varneltiff_version.h @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/VERSION CONTENT "@PROJECT_VERSION@\n" @ONLY)
add_library(project_version INTERFACE)
target_include_directories(project_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# varneltiff_version_resource(TARGET ENGLISH text JAPANESE text): on Windows, gives the DLL or
# program TARGET a VERSIONINFO resource with a Japanese block (code page 932) and an English one,
# both carrying TARGET's own description. The template is UTF-8; windres stores the texts as
# UTF-16, the form every version resource holds.
function(varneltiff_version_resource target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "ENGLISH;JAPANESE" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(RC_FILE_TYPE 0x1)  # VFT_APP
  else()
    set(RC_FILE_TYPE 0x2)  # VFT_DLL
  endif()
  set(RC_TWEAK "${PROJECT_VERSION_TWEAK}")
  if(RC_TWEAK STREQUAL "")
    set(RC_TWEAK 0)
  endif()
  set(RC_DESCRIPTION_EN "${ARG_ENGLISH}")
  set(RC_DESCRIPTION_JA "${ARG_JAPANESE}")
  # The file name is the target's own, filled in when the build is generated.
  set(RC_FILE_NAME "$<TARGET_FILE_NAME:${target}>")
  set(configured ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc.in)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version_info.rc.in ${configured} @ONLY)
  file(GENERATE OUTPUT ${generated} INPUT ${configured})
  target_sources(${target} PRIVATE ${generated})
endfunction()
