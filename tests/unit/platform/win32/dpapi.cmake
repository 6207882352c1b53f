# API keys encrypted for the user with DPAPI: the backend alone, then the configuration file as
# the engine settings dialog writes it and the program reads it.
velmora_add_test(NAME unit_win32_dpapi LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/DpapiSecretTest.cpp ${CMAKE_CURRENT_LIST_DIR}/DpapiKeysTest.cpp
  LIBS velmora_app_win32 crypt32)
