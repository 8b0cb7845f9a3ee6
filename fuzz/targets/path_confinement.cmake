talmora_add_fuzz(path_confinement
  SOURCES targets/path_confinement.cpp
  LIBS updater_files)
