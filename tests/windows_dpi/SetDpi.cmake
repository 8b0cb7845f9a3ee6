# Makes the wine prefix of WINEPREFIX (when it is not there yet) and gives it DPI dots per
# inch, where wine's display settings keep the resolution.
execute_process(COMMAND ${WINE} wineboot --init RESULT_VARIABLE booted)
if(NOT booted EQUAL 0)
  message(FATAL_ERROR "wineboot failed: ${booted}")
endif()
foreach(key "HKCU\\Control Panel\\Desktop" "HKCC\\Software\\Fonts")
  execute_process(COMMAND ${WINE} reg add ${key} /v LogPixels /t REG_DWORD /d ${DPI} /f
                  RESULT_VARIABLE added OUTPUT_QUIET)
  if(NOT added EQUAL 0)
    message(FATAL_ERROR "could not set LogPixels under ${key}: ${added}")
  endif()
endforeach()
# The registry is written by the wine server; wait for it to end so the next program reads it.
get_filename_component(folder ${WINE} DIRECTORY)
execute_process(COMMAND ${folder}/wineserver -w)
