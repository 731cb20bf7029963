import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.App
import Orvinta.Ui

// Start-up, languages, sound, clipboard, dictation and the shortcuts.
SettingsForm {
    id: tab

    required property SettingsViewModel vm
    readonly property Preferences prefs: vm.preferences
    readonly property int pickerWidth: 180

    SettingsSection {
        title: "Startup"
        Switch {
            text: "Launch at Login"
            checked: tab.prefs.launchAtLogin
            onToggled: tab.prefs.setLaunchAtLogin(checked)
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
    }

    SettingsSection {
        title: "Default Language"
        RowLayout {
            Label { Layout.fillWidth: true; text: "Source Language" }
            ComboBox {
                Layout.preferredWidth: tab.pickerWidth
                model: tab.vm.languages.sourceLanguages
                textRole: "label"
                currentIndex: tab.vm.languages.sourceIndex
                onActivated: (index) => tab.vm.languages.selectSource(index)
                Accessible.name: "Source Language"
            }
        }
        RowLayout {
            Label { Layout.fillWidth: true; text: "Target Language" }
            ComboBox {
                Layout.preferredWidth: tab.pickerWidth
                model: tab.vm.languages.targetLanguages
                textRole: "label"
                currentIndex: tab.vm.languages.targetIndex
                onActivated: (index) => tab.vm.languages.selectTarget(index)
                Accessible.name: "Target Language"
            }
        }
        Caption {
            visible: tab.vm.languages.sameLanguage
            text: "Same language — no translation"
        }
    }

    SettingsSection {
        title: "Sound"
        Switch {
            text: "Play sounds on start/stop"
            checked: tab.prefs.soundEnabled
            onToggled: tab.prefs.setSoundEnabled(checked)
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        Caption { text: "Plays a subtle sound when transcription starts or stops." }
    }

    SettingsSection {
        title: "Clipboard"
        Switch {
            text: "Auto-copy new transcriptions"
            checked: tab.prefs.autoCopyToClipboard
            onToggled: tab.prefs.setAutoCopyToClipboard(checked)
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        Caption { text: "Automatically copies each confirmed sentence to the clipboard." }
        Switch {
            objectName: "autoPasteSwitch"
            text: "Auto-paste at cursor position"
            checked: tab.prefs.autoPasteAtCursor
            onToggled: tab.prefs.setAutoPasteAtCursor(checked)
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        RowLayout {
            objectName: "pasteSourcePicker"
            visible: tab.vm.showsPasteSource
            Label { Layout.fillWidth: true; text: "Paste source" }
            // Radio buttons: screen readers hear a choice of two and which is taken.
            ButtonGroup { id: pasteSource }
            RadioButton {
                objectName: "pasteOriginalRadio"
                text: "Original"
                checked: tab.vm.preferences.autoPasteSourceRaw === "original"
                ButtonGroup.group: pasteSource
                onClicked: tab.vm.preferences.setAutoPasteSourceRaw("original")
                Accessible.name: "Paste source: Original"
            }
            RadioButton {
                objectName: "pasteTranslationRadio"
                text: "Translation"
                checked: tab.vm.preferences.autoPasteSourceRaw === "translation"
                ButtonGroup.group: pasteSource
                onClicked: tab.vm.preferences.setAutoPasteSourceRaw("translation")
                Accessible.name: "Paste source: Translation"
            }
        }
        Caption {
            visible: tab.vm.showsPasteSource
            text: tab.vm.pasteSourceCaption
        }
        WarningRow {
            objectName: "pasteWarning"
            visible: tab.vm.showsPasteWarning
            message: "Paste at the cursor needs a keyboard back end"
            actionText: "Show What Works Here"
            onAction: tab.vm.showCapabilities()
        }
    }

    SettingsSection {
        title: "Dictation"
        Switch {
            text: "Hold " + tab.vm.holdKeyName + " key to dictate"
            checked: tab.prefs.dictationModeEnabled
            onToggled: tab.prefs.setDictationModeEnabled(checked)
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        ShortcutRow {
            readonly property HoldKeyRecorderModel recorder: tab.vm.holdKeyRecorder
            objectName: "holdKeyRow"
            label: "Hold Key"
            displayText: recorder.displayText
            recording: recorder.isRecording
            canReset: recorder.canReset
            resetToolTip: recorder.resetToolTip
            onToggleRecording: recorder.toggleRecording()
            onResetToDefault: recorder.resetToDefault()
            onKeyPressed: (key, modifiers, nativeKey) => recorder.handleKeyPress(key, nativeKey)
        }
        Caption {
            text: "Hold the " + tab.vm.holdKeyName
                  + " key to start dictating. Release to paste text at the cursor position."
        }
        Caption { text: "If this key conflicts with another shortcut, choose another hold key." }
        WarningRow {
            objectName: "dictationWarning"
            visible: tab.vm.showsDictationWarning
            message: "Pasting what you dictate needs a keyboard back end"
            actionText: "Show What Works Here"
            onAction: tab.vm.showCapabilities()
        }
    }

    SettingsSection {
        title: "Screen Reader"
        Switch {
            objectName: "readAloudSwitch"
            text: "Read new captions aloud"
            enabled: tab.vm.overlay !== null
            checked: enabled && tab.vm.overlay.readAloud
            onToggled: tab.vm.overlay.readAloud = checked
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        Caption { text: "Gives each new line to your screen reader as it is confirmed." }
    }

    SettingsSection {
        objectName: "shortcutsSection"
        title: "Keyboard Shortcuts"
        Repeater {
            model: tab.vm.shortcutRecorders
            delegate: ColumnLayout {
                id: shortcut
                required property ShortcutRecorderModel modelData
                Layout.fillWidth: true
                spacing: 4
                ShortcutRow {
                    objectName: "shortcutRow"
                    label: shortcut.modelData.label
                    displayText: shortcut.modelData.displayText
                    recording: shortcut.modelData.isRecording
                    canReset: shortcut.modelData.canReset
                    resetToolTip: shortcut.modelData.resetToolTip
                    onToggleRecording: shortcut.modelData.toggleRecording()
                    onResetToDefault: shortcut.modelData.resetToDefault()
                    onKeyPressed: (key, modifiers) => shortcut.modelData.handleKeyPress(key, modifiers)
                }
                WarningRow {
                    objectName: "shortcutFailure"
                    visible: shortcut.modelData.failureText !== ""
                    message: shortcut.modelData.failureText
                }
            }
        }
        Caption { text: "Click a shortcut field (or press Enter on it) and press your desired key combination to change it; Escape cancels." }
    }
}
