talmora_add_fuzz(servers SOURCES targets/servers.cpp LIBS talmora_servers)
