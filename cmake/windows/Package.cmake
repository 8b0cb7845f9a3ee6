# The archive players get, laid out as they install it: Updater.exe at the top, the Registry
# and its release notes in Client/, and README.txt for players. The target windows_package
# writes it into dist/ of the source tree (scripts/package builds it);
# scripts/check-windows-package checks it.
include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  set(arch x86)
else()
  set(arch x64)
endif()
set(TALMORA_PACKAGE_FILE ${PROJECT_SOURCE_DIR}/dist/talmora-windows-${arch}-${TALMORA_UPDATER_VERSION}-${TALMORA_REGISTRY_VERSION}.zip)

set(readme ${CMAKE_BINARY_DIR}/package/README.txt)
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt.in ${readme} @ONLY)
set(notes_name ${TALMORA_REGISTRY_VERSION}.txt)
set(notes ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${notes_name})

add_custom_command(OUTPUT ${TALMORA_PACKAGE_FILE}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/make_archive.py ${TALMORA_PACKAGE_FILE}
          Updater.exe=$<TARGET_FILE:Updater>
          Client/Registry.exe=$<TARGET_FILE:Registry>
          Client/${notes_name}=${notes}
          README.txt=${readme}
  DEPENDS Updater Registry ${notes} ${readme} ${CMAKE_CURRENT_LIST_DIR}/make_archive.py
  COMMENT "Packing the Windows programs for players"
  VERBATIM)
add_custom_target(windows_package DEPENDS ${TALMORA_PACKAGE_FILE})
