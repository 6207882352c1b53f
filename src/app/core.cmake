# Plain C++ app modules of the autostart, registry and help-layout work (no Qt). The unit id
# (mduUnitId.cpp) is built into velmora_update, which velmora_app_core links.
set(VELMORA_APP_CORE_UPDATE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/mduReg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Autostart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HelpSize.cpp
)
