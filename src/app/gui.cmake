# Qt windows of the update and web work: the update window, the help window, the web panes.
# They need Qt6::WebEngineWidgets.
set(VELMORA_APP_GUI_UPDATE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/frmAutoUpdate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frmHelp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QtWebPane.cpp
)
