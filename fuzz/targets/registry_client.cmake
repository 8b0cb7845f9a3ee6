talmora_add_fuzz(registry_client
  SOURCES targets/registry_client.cpp ${PROJECT_SOURCE_DIR}/tests/support/FakeTransport.cpp
  LIBS registry_net)
