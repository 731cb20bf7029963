# The tray icon's panel and the dictation bubble.
list(APPEND ORVINTA_UI_SOURCES
  include/OrvintaUi/DictationBubble.h panel/DictationBubble.cpp
  include/OrvintaUi/FileSaveDialog.h common/FileSaveDialog.cpp
  include/OrvintaUi/LanguageSelection.h common/LanguageSelection.cpp
  include/OrvintaUi/MenuBarViewModel.h panel/MenuBarViewModel.cpp
  include/OrvintaUi/PanelParts.h panel/PanelParts.cpp
  include/OrvintaUi/PanelWindows.h panel/PanelWindows.cpp
  include/OrvintaUi/SystemSettings.h common/SystemSettings.cpp
  include/OrvintaUi/TrayIcon.h panel/TrayIcon.cpp
  include/OrvintaUi/WaveformArt.h panel/WaveformArt.cpp
)
list(APPEND ORVINTA_UI_QML
  common/FocusRing.qml
  panel/ChoicePill.qml
  panel/DictationBubbleView.qml
  panel/MenuBarView.qml
  panel/MenuBarWindow.qml
  panel/SetupRequiredView.qml
  panel/TogglePill.qml
)
list(APPEND ORVINTA_UI_RESOURCES
  panel/icons/logo.svg
  panel/icons/swap.svg
)
