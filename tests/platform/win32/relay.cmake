# The Win32 backends the relay drives, against real windows under Wine in the test desktop: the
# stand-in chat window (another process), windows of the test's own, the clipboard and the
# global shortcut.
if(TARGET win32chat)
  velmora_add_test(NAME platform_win32_relay LABEL platform
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/Win32ChatDriveTest.cpp
      ${CMAKE_CURRENT_LIST_DIR}/Win32BackendTest.cpp
    LIBS velmora_win32 TIMEOUT 240)
  target_compile_definitions(platform_win32_relay PRIVATE
    VELMORA_WIN32CHAT="$<TARGET_FILE:win32chat>")
  add_dependencies(platform_win32_relay win32chat)
endif()
