# The settings window and the update and release-notes windows.
list(APPEND ORVINTA_UI_SOURCES
  include/OrvintaUi/CapabilitiesModel.h settings/CapabilitiesModel.cpp
  include/OrvintaUi/FocusScroller.h settings/FocusScroller.cpp
  include/OrvintaUi/HoldKeyRecorderModel.h settings/HoldKeyRecorderModel.cpp
  include/OrvintaUi/KeyCaptureItem.h settings/KeyCaptureItem.cpp
  include/OrvintaUi/SettingsViewModel.h settings/SettingsViewModel.cpp
  include/OrvintaUi/SettingsWindowController.h settings/SettingsWindowController.cpp
  include/OrvintaUi/ShortcutRecorderModel.h settings/ShortcutRecorderModel.cpp
  include/OrvintaUi/UpdateWindowsController.h settings/UpdateWindowsController.cpp
  settings/WindowActivation.h settings/WindowActivation.cpp
)
list(APPEND ORVINTA_UI_QML
  settings/SettingsWindow.qml
  settings/SettingsView.qml
  settings/SettingsForm.qml
  settings/SettingsSection.qml
  settings/Caption.qml
  settings/WarningRow.qml
  settings/SliderRow.qml
  settings/ChoiceRow.qml
  settings/ShortcutRecorderButton.qml
  settings/ShortcutRow.qml
  settings/GeneralTab.qml
  settings/AppearanceTab.qml
  settings/UpdateTab.qml
  settings/CapabilitiesTab.qml
  settings/AboutTab.qml
  settings/WhatsNewWindow.qml
  settings/UpdateCheckWindow.qml
)
