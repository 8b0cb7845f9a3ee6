# The Windows resources of an executable, compiled by windres (CMake's RC language):
#
#   talmora_windows_resources(<target> EMBLEM <updater|registry> VERSION <text>
#                             DESCRIPTION <text>)
#       A program as players get it: the application manifest, the icon that make_icon.py
#       draws for EMBLEM, and version information: VERSION ("V5.323") as the version texts and,
#       by its numbers, the version fields (5.323.0.0); DESCRIPTION as the file description;
#       "Talmora Online" as the product.
#
#   talmora_windows_resources(<target> MANIFEST_ONLY)
#       The same manifest alone, for a test executable, so that what it tests runs with the
#       programs' common controls, DPI awareness and long paths.
#
# The manifest asks for no elevation (asInvoker), Common Controls 6, per-monitor DPI awareness
# (version 2, with the per-monitor and system-aware fallbacks), long paths, and names Windows 7
# to 11 as supported systems.
include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TALMORA_WINDOWS_RESOURCES ${CMAKE_CURRENT_LIST_DIR})

# The four numbers of a version text: the digits and dots after any leading letters, padded
# with zeros ("V5.323" -> 5;323;0;0).
function(talmora_version_numbers text out)
  string(REGEX MATCH "[0-9]+(\\.[0-9]+)*" numbers "${text}")
  if(numbers STREQUAL "")
    message(FATAL_ERROR "The version text \"${text}\" holds no version number")
  endif()
  string(REPLACE "." ";" numbers "${numbers}")
  list(LENGTH numbers count)
  if(count GREATER 4)
    message(FATAL_ERROR "The version text \"${text}\" has more than four numbers")
  endif()
  foreach(number IN LISTS numbers)
    if(number GREATER 65535)
      message(FATAL_ERROR "The version text \"${text}\" has a number above 65535")
    endif()
  endforeach()
  while(count LESS 4)
    list(APPEND numbers 0)
    math(EXPR count "${count} + 1")
  endwhile()
  set(${out} "${numbers}" PARENT_SCOPE)
endfunction()

function(talmora_windows_resources target)
  cmake_parse_arguments(ARG "MANIFEST_ONLY" "EMBLEM;VERSION;DESCRIPTION" "" ${ARGN})
  if(NOT ARG_MANIFEST_ONLY AND (NOT ARG_EMBLEM OR NOT ARG_VERSION OR NOT ARG_DESCRIPTION))
    message(FATAL_ERROR "talmora_windows_resources(${target}) needs EMBLEM, VERSION and "
                        "DESCRIPTION, or MANIFEST_ONLY")
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}-resources)
  set(TALMORA_FILE_NAME ${target}.exe)
  set(TALMORA_INTERNAL_NAME ${target})
  set(TALMORA_MANIFEST_NAME TalmoraOnline.${target})
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
    set(TALMORA_MANIFEST_ARCH x86)
  else()
    set(TALMORA_MANIFEST_ARCH amd64)
  endif()
  if(ARG_MANIFEST_ONLY)
    set(ARG_VERSION 1.0)
    set(ARG_DESCRIPTION "Talmora Online tests: ${target}")
  endif()
  talmora_version_numbers("${ARG_VERSION}" numbers)
  string(REPLACE ";" "." TALMORA_VERSION_DOTS "${numbers}")
  string(REPLACE ";" "," TALMORA_VERSION_COMMAS "${numbers}")
  set(TALMORA_VERSION "${ARG_VERSION}")
  set(TALMORA_DESCRIPTION "${ARG_DESCRIPTION}")

  set(TALMORA_MANIFEST_FILE ${out}/${target}.manifest)
  configure_file(${TALMORA_WINDOWS_RESOURCES}/program.manifest.in ${TALMORA_MANIFEST_FILE}
                 @ONLY)
  set(rc ${out}/${target}.rc)
  if(ARG_MANIFEST_ONLY)
    file(CONFIGURE OUTPUT ${rc} @ONLY CONTENT [[#include <winresrc.h>
CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST "@TALMORA_MANIFEST_FILE@"
]])
    set(depends ${TALMORA_MANIFEST_FILE})
  else()
    # Drawn at build time: quick, and the same bytes on every run.
    set(TALMORA_ICON_FILE ${out}/${target}.ico)
    add_custom_command(OUTPUT ${TALMORA_ICON_FILE}
      COMMAND Python3::Interpreter ${TALMORA_WINDOWS_RESOURCES}/make_icon.py ${ARG_EMBLEM}
              ${TALMORA_ICON_FILE}
      DEPENDS ${TALMORA_WINDOWS_RESOURCES}/make_icon.py
      COMMENT "Drawing the icon of ${target}"
      VERBATIM)
    configure_file(${TALMORA_WINDOWS_RESOURCES}/program.rc.in ${rc} @ONLY)
    # Listed as a source so that the target runs the command that draws it.
    target_sources(${target} PRIVATE ${TALMORA_ICON_FILE})
    set(depends ${TALMORA_MANIFEST_FILE} ${TALMORA_ICON_FILE})
  endif()
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
endfunction()
