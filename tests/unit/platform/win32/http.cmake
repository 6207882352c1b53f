# The WinHTTP backend against a loopback server of its own; the process backend and the Windows
# update script run for real through cmd under Wine.
velmora_add_test(NAME unit_win32_http LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/WinHttpTest.cpp
  LIBS velmora_win32 velmora_engines ws2_32)

# Stands in for the program an update replaces: records each start, or just sleeps.
add_executable(win32_update_dummy ${CMAKE_CURRENT_LIST_DIR}/UpdateDummyProgram.cpp)
velmora_add_test(NAME unit_win32_update LABEL unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/UpdateScriptTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Win32ProcessTest.cpp
  LIBS velmora_win32 velmora_update velmora_fake)
add_dependencies(unit_win32_update win32_update_dummy)
