talmora_add_fuzz(updater_client
  SOURCES targets/updater_client.cpp ${PROJECT_SOURCE_DIR}/tests/support/FakeTransport.cpp
  LIBS updater_flow)
