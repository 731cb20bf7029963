# The subtitle overlay: its settings, window and view.
list(APPEND ORVINTA_UI_SOURCES
  include/OrvintaUi/DesktopMotion.h common/DesktopMotion.cpp
  include/OrvintaUi/OverlaySettings.h overlay/OverlaySettings.cpp
  include/OrvintaUi/OverlayLineModel.h overlay/OverlayLineModel.cpp
  include/OrvintaUi/OverlayViewModel.h overlay/OverlayViewModel.cpp
  include/OrvintaUi/OverlayWindowPlatform.h overlay/X11OverlayWindowPlatform.cpp
  include/OrvintaUi/OverlayWindowItems.h overlay/OverlayWindowItems.cpp
  include/OrvintaUi/OverlayWindowController.h overlay/OverlayWindowController.cpp
  overlay/OverlayIconProvider.h overlay/OverlayIconProvider.cpp
)
list(APPEND ORVINTA_UI_QML
  overlay/OverlayWindow.qml
  overlay/OverlayView.qml
  overlay/OverlayColors.qml
  overlay/OverlayIcon.qml
  overlay/OverlayIconButton.qml
  overlay/OverlayHeader.qml
  overlay/DragHandle.qml
  overlay/OverlaySearchBar.qml
  overlay/ConfirmedLineCard.qml
  overlay/InterimTextBubble.qml
  overlay/ListeningIndicator.qml
  overlay/EmptyStateView.qml
  overlay/OverlayFooter.qml
  overlay/NewLinesPill.qml
)

# The overlay talks to the X server through xcb and searches with ICU. The
# library is made after this list is read, so the links wait until then.
find_package(X11 REQUIRED)
find_package(ICU 72 REQUIRED COMPONENTS uc i18n)
cmake_language(DEFER CALL target_link_libraries OrvintaUi PRIVATE X11::xcb ICU::uc ICU::i18n)

# Code that qmlcachegen writes for these files shadows its own parameters.
foreach(qml_file IN LISTS ORVINTA_UI_QML)
  if(qml_file MATCHES "^overlay/(.+)\\.qml$")
    set_source_files_properties(
      ${CMAKE_CURRENT_BINARY_DIR}/.rcc/qmlcache/OrvintaUi_overlay/${CMAKE_MATCH_1}_qml.cpp
      PROPERTIES COMPILE_OPTIONS "-Wno-shadow")
  endif()
endforeach()
