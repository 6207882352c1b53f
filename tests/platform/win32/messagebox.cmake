# The message box is a real window: it needs the test desktop.
velmora_add_test(NAME platform_win32_messagebox LABEL platform
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessageBoxTest.cpp
  LIBS velmora_win32)
