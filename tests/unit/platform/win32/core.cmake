# The Win32 backends of the non-window ports against the real system under Wine: code pages,
# std::wregex, the clock, the message loop, the registry (a throwaway key) and WMI.
velmora_add_test(NAME unit_win32_core LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/CodePageTest.cpp ${CMAKE_CURRENT_LIST_DIR}/StdRegexTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClockEventLoopTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RegistryKeyStoreTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProcessorIdTest.cpp
  LIBS velmora_win32 velmora_app_core velmora_relay velmora_translate velmora_fake)

