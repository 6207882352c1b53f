# The Win32 program itself, started as a user would start it: each case runs a fresh copy of
# velmora.exe in a folder of its own and looks at it from outside (windows, tray, registry).
if(TARGET velmora)
  velmora_add_test(NAME platform_win32_app LABEL platform TIMEOUT 240
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppTest.cpp
    LIBS user32 shell32 advapi32 ws2_32)
  target_compile_definitions(platform_win32_app PRIVATE "VELMORA_EXE=\"$<TARGET_FILE:velmora>\"")
  add_dependencies(platform_win32_app velmora)
endif()

if(TARGET velmora_app_win32)
  velmora_add_test(NAME platform_win32_app_windows LABEL platform TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppWindowsTest.cpp
    LIBS velmora_app_win32)
endif()

# The engine and in-place settings dialogs, saving into a real file.
if(TARGET velmora_app_win32)
  velmora_add_test(NAME platform_win32_settings LABEL platform TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/SettingsDialogsTest.cpp
    LIBS velmora_app_win32)
endif()

# The browser panes: the system's control where it has one, the plain pane where not.
if(TARGET velmora_app_win32)
  velmora_add_test(NAME platform_win32_browser_pane LABEL platform TIMEOUT 120
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/BrowserPaneTest.cpp
    LIBS velmora_app_win32 ws2_32 shlwapi)
endif()
