# The subtitle overlay: its settings, window and view.
list(APPEND ORVINTA_UI_SOURCES
  include/OrvintaUi/DesktopMotion.h common/DesktopMotion.cpp
  include/OrvintaUi/Contrast.h common/Contrast.cpp
  include/OrvintaUi/UiTheme.h common/UiTheme.cpp
  include/OrvintaUi/CaptionStyle.h overlay/CaptionStyle.cpp
  include/OrvintaUi/OverlaySettings.h overlay/OverlaySettings.cpp
  include/OrvintaUi/OverlayLineModel.h overlay/OverlayLineModel.cpp
  include/OrvintaUi/OverlayViewModel.h overlay/OverlayViewModel.cpp
  include/OrvintaUi/OverlayWindowPlatform.h
  include/OrvintaUi/OverlayWindowItems.h overlay/OverlayWindowItems.cpp
  include/OrvintaUi/OverlayWindowController.h overlay/OverlayWindowController.cpp
  include/OrvintaUi/CaptionAnnouncer.h overlay/CaptionAnnouncer.cpp
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
  overlay/CompactCaptions.qml
  overlay/InterimTextBubble.qml
  overlay/ListeningIndicator.qml
  overlay/EmptyStateView.qml
  overlay/OverlayFooter.qml
  overlay/NewLinesPill.qml
  overlay/UndoNotice.qml
)
