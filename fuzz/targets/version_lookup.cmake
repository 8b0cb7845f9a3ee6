talmora_add_fuzz(version_lookup
  SOURCES targets/version_lookup.cpp
  LIBS updater_files)
