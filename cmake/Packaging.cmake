# The Debian package: `cpack -G DEB` in the build folder. The program and its package marker are
# installed by src/app; the files for /usr/share are made and installed here.
if(NOT TARGET velmora)
  return()
endif()
include(GNUInstallDirs)

set(VELMORA_APP_ID org.velmora.Velmora)
set(VELMORA_DEB_RELEASE 1)
set(VELMORA_DEB_VERSION ${PROJECT_VERSION}-${VELMORA_DEB_RELEASE})
set(_pkg_src ${PROJECT_SOURCE_DIR}/packaging)
set(_pkg_out ${PROJECT_BINARY_DIR}/packaging)

# The icon theme files, drawn at build time by the program's own artwork code.
add_executable(velmora-icons ${_pkg_src}/icons/ExportIcons.cpp
  ${PROJECT_SOURCE_DIR}/src/app/QtArtwork.cpp)
target_include_directories(velmora-icons PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(velmora-icons PRIVATE Qt6::Gui)
set(_icons)
foreach(_size 16 32 48 64 128 256)
  list(APPEND _icons ${_pkg_out}/icons/hicolor/${_size}x${_size}/apps/${VELMORA_APP_ID}.png)
endforeach()
list(APPEND _icons ${_pkg_out}/icons/hicolor/scalable/apps/${VELMORA_APP_ID}.svg)
# No display needed; in a sanitizer build the toolkit's process-lifetime allocations are not
# ours, so leak reports must not stop the build.
add_custom_command(OUTPUT ${_icons}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
    $<TARGET_FILE:velmora-icons> ${_pkg_out}/icons
  DEPENDS velmora-icons
  COMMENT "Drawing the package icons")

# Versioned texts; gzip -n keeps the archives free of time stamps, as Debian wants.
configure_file(${_pkg_src}/velmora.1 ${_pkg_out}/velmora.1 @ONLY)
configure_file(${_pkg_src}/changelog.Debian ${_pkg_out}/changelog.Debian @ONLY)
configure_file(${_pkg_src}/${VELMORA_APP_ID}.metainfo.xml
  ${_pkg_out}/${VELMORA_APP_ID}.metainfo.xml @ONLY)
set(_gzipped)
foreach(_text velmora.1 changelog.Debian)
  add_custom_command(OUTPUT ${_pkg_out}/${_text}.gz
    COMMAND gzip -9nc ${_pkg_out}/${_text} > ${_pkg_out}/${_text}.gz
    DEPENDS ${_pkg_out}/${_text})
  list(APPEND _gzipped ${_pkg_out}/${_text}.gz)
endforeach()
add_custom_target(velmora_package_files ALL DEPENDS ${_icons} ${_gzipped})

install(FILES ${_pkg_src}/${VELMORA_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg_out}/${VELMORA_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${_pkg_out}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${_pkg_out}/velmora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg_src}/copyright ${_pkg_out}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/velmora)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora maintainers <maintainers@velmora.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A Debian revision: the package of upstream sources carries changelog.Debian.gz.
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELMORA_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program asks Qt's platform layer which window holds the focus: an interface tied to the
# exact Qt release, as Debian's packages that use it say.
if(DEFINED Qt6Gui_VERSION)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-base-abi (= ${Qt6Gui_VERSION})")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "apertium, apertium-eng-spa, apertium-eng-cat, apertium-en-gl, apertium-eo-en, at-spi2-core, libatk-adaptor")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "translate an instant-messaging conversation both ways")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Velmora is a desktop companion that translates an instant-messaging
conversation in both directions without speaking any messaging protocol.
You mark the chat window's input box, message history and send button once;
what you type is translated, pasted into the chat and sent, and the other
party's new messages are translated and shown to you.
.
It translates offline through Apertium, or through online engines configured
in ~/.config/velmora/velmora.conf. The interface is in simplified Chinese.")
include(CPack)
