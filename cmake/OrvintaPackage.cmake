# The Debian packages that scripts/package.sh makes with CPack's DEB generator
# from the install rules of each folder: orvinta (component "orvinta": the
# programs and what a desktop installs with them) and libtranscriptioncore-dev
# (component "dev": TranscriptionCore's headers, static library and CMake
# package). The version is the project's; dpkg-shlibdeps
# adds the libraries the binaries link to what is listed here.

set(orvinta_maintainer "The Orvinta developers <${ORVINTA_SUPPORT_EMAIL}>")

option(ORVINTA_DEBIAN_FILES
  "Install the Debian packages' own files: changelog and copyright" OFF)
if(ORVINTA_DEBIAN_FILES)
  find_program(GZIP gzip REQUIRED)
  set(changelog ${CMAKE_BINARY_DIR}/debian/changelog)
  set(appcast ${CMAKE_SOURCE_DIR}/update/resources/appcast.xml)
  add_custom_command(OUTPUT ${changelog}.gz
    COMMAND orvinta-release-files changelog ${appcast} ${PROJECT_VERSION} orvinta
      ${orvinta_maintainer} ${changelog}
    COMMAND ${GZIP} -9nf ${changelog}
    DEPENDS orvinta-release-files ${appcast}
    COMMENT "Debian changelog" VERBATIM)
  add_custom_target(orvinta_debian_changelog ALL DEPENDS ${changelog}.gz)
  set(components orvinta dev)
  set(packages orvinta libtranscriptioncore-dev)
  foreach(component package IN ZIP_LISTS components packages)
    install(FILES ${changelog}.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
      DESTINATION share/doc/${package} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvinta)
set(CPACK_PACKAGE_VENDOR "The Orvinta developers")
set(CPACK_PACKAGE_CONTACT "${orvinta_maintainer}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${ORVINTA_WEBSITE}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description starts with its own summary line.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL orvinta dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE orvinta)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_ORVINTA_PACKAGE_NAME orvinta)
set(CPACK_DEBIAN_ORVINTA_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_ORVINTA_DESCRIPTION "live on-device speech to text in the system tray
Orvinta listens to the microphone, to one application or to everything the
computer plays, recognises speech on the device with PocketSphinx (no audio
leaves the computer) and shows it as live subtitles. Each line can be
translated with Apertium, copied or pasted at the cursor; holding a key
dictates into any application.

orvinta lives in the system tray; orvinta-cli does the same from a terminal,
and transcribes audio files into text or subtitles; orvinta-score computes
the error rates of a recognised transcript against a reference.")
# What shlibdeps cannot see: the speech model, the translation pairs (and
# cg3, which the Italian pair's pipeline runs), the icon theme of the
# windows' symbols, Qt's SVG plugins and the QML modules the windows import.
string(JOIN ", " CPACK_DEBIAN_ORVINTA_PACKAGE_DEPENDS
  pocketsphinx-en-us
  apertium apertium-eng-spa apertium-fr-es apertium-es-pt apertium-spa-ita cg3
  adwaita-icon-theme libqt6svg6
  qml6-module-qtqml qml6-module-qtqml-models qml6-module-qtqml-workerscript
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
  qml6-module-qtquick-layouts qml6-module-qtquick-window)
# A sound server; a program for the sound settings the panel opens; a system
# tray, which GNOME Shell shows only with the AppIndicator extension (the other
# desktops' panels satisfy it, so that it never brings GNOME Shell along);
# the desktop portal and Qt's Wayland platform for Wayland sessions.
string(JOIN ", " CPACK_DEBIAN_ORVINTA_PACKAGE_RECOMMENDS
  "pipewire-pulse | pulseaudio"
  "pavucontrol | gnome-control-center | plasma-pa"
  "gnome-shell-extension-appindicator | plasma-workspace | xfce4-panel | mate-panel | cinnamon | lxqt-panel | lxpanel"
  xdg-desktop-portal qt6-wayland)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtranscriptioncore-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "transcript algorithms of Orvinta (development files)
TranscriptionCore is the part of Orvinta that works on transcripts: audio
preprocessing, sentence splitting, removal of repeated text, and character
and word error rates with scoring normalisation, on ICU.

This package holds its headers, static library and CMake package
(find_package(TranscriptionCore)).")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libicu-dev")

include(CPack)
