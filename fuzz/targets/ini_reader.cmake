talmora_add_fuzz(ini_reader
  SOURCES targets/ini_reader.cpp
  LIBS talmora_common)
