talmora_add_fuzz(unpack
  SOURCES targets/unpack.cpp
  LIBS updater_files)
