import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.App
import Orvinta.Ui
import Orvinta.Updates

// The tray panel: languages, audio source, start/stop, clipboard,
// dictation, settings and quit. Every decision is the view model's. Tab
// walks every control; Escape closes the panel.
Pane {
    id: view

    // Wider for a larger desktop font, so that the rows keep their words.
    readonly property int panelWidth: Math.max(340, Math.round(UiTheme.textSize * 30))
    readonly property int sectionSpacing: 12
    readonly property int edgePadding: 16
    // Point sizes from the desktop's font.
    readonly property real headlineSize: UiTheme.headlineSize
    readonly property real subheadlineSize: UiTheme.textSize
    readonly property real bodySize: UiTheme.textSize
    readonly property real captionSize: UiTheme.smallTextSize
    readonly property real caption2Size: UiTheme.smallTextSize
    readonly property real statusSize: UiTheme.textSize
    readonly property int dotSize: 8
    readonly property real ringWidth: 1.5
    readonly property real ringScale: 2.5
    readonly property int pulseMs: 1500
    readonly property int pulseOffMs: 200
    readonly property int swapSymbolSize: 10
    readonly property real hintSize: UiTheme.smallTextSize
    readonly property int hintSymbolSize: 10
    /// The smallest a control is, to hit and to see its focus.
    readonly property int minimumTarget: 24
    // Every text colour at least 4.5:1 on the panel (UiTheme derives them).
    readonly property color green: UiTheme.success
    readonly property color orange: UiTheme.warning
    readonly property color red: UiTheme.danger
    readonly property color blue: UiTheme.accent
    readonly property color primary: palette.windowText
    readonly property color secondary: UiTheme.secondaryText
    readonly property color tertiary: UiTheme.secondaryText
    readonly property color quaternary: UiTheme.secondaryText

    required property MenuBarViewModel viewModel
    readonly property MenuBarViewModel vm: viewModel
    readonly property ListeningController listeningController: vm.state.listening
    readonly property Preferences preferences: vm.state.preferences
    readonly property bool listening: listeningController.isListening
    readonly property bool dictating: vm.activity === MenuBarViewModel.Dictating
    // Animations run only while the panel is on screen.
    readonly property bool onScreen: Window.window !== null && Window.window.visible

    width: panelWidth
    padding: edgePadding
    focus: true
    Keys.onEscapePressed: Window.window.close()

    contentItem: ColumnLayout {
        spacing: view.sectionSpacing

        // Header
        RowLayout {
            Layout.fillWidth: true
            IconImage {
                source: "icons/logo.svg"
                color: view.primary
                sourceSize: Qt.size(20, 16)
                fillMode: Image.PreserveAspectFit
                Layout.preferredWidth: 20
                Layout.preferredHeight: 16
            }
            Label {
                text: "Orvinta"
                font.pointSize: view.headlineSize
                font.bold: true
            }
            Item { Layout.fillWidth: true }
            RowLayout {
                spacing: 6
                Label {
                    visible: text.length > 0
                    text: view.vm.status.text
                    font.pointSize: view.statusSize
                    font.weight: Font.Medium
                    font.family: view.listening ? "monospace" : font.family
                    color: view.listening ? view.green : view.orange
                    // It ticks every second: the dot beside it says the time by the minute.
                    // A name of its own keeps the text from renaming it each second.
                    Accessible.name: "Recording time"
                    Accessible.ignored: true
                }
                Item {
                    Layout.preferredWidth: view.dotSize
                    Layout.preferredHeight: view.dotSize
                    readonly property color tint: view.dictating ? view.orange
                                                 : view.listening ? view.green : "grey"
                    Rectangle {
                        id: ring
                        anchors.fill: parent
                        radius: width / 2
                        color: "transparent"
                        border.width: view.ringWidth
                        border.color: Qt.rgba(parent.tint.r, parent.tint.g, parent.tint.b, 0.5)
                        visible: view.vm.pulseActive
                        scale: 1
                        opacity: 0.8
                        ParallelAnimation {
                            running: view.onScreen && ring.visible
                            loops: Animation.Infinite
                            onStopped: { ring.scale = 1; ring.opacity = 0.8 }
                            NumberAnimation { target: ring; property: "scale"; from: 1; to: view.ringScale; duration: view.pulseMs; easing.type: Easing.OutQuad }
                            NumberAnimation { target: ring; property: "opacity"; from: 0.8; to: 0; duration: view.pulseMs; easing.type: Easing.OutQuad }
                        }
                    }
                    Rectangle {
                        anchors.fill: parent
                        radius: width / 2
                        color: parent.tint
                        Accessible.role: Accessible.Indicator
                        Accessible.name: view.vm.status.spokenText
                    }
                }
            }
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        // Languages
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6
            Label { text: "Language"; font.pointSize: view.subheadlineSize; color: view.secondary }
            RowLayout {
                Layout.fillWidth: true
                spacing: 4
                ComboBox {
                    objectName: "sourceLanguageBox"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    model: view.vm.languages.sourceLanguages
                    textRole: "label"
                    currentIndex: view.vm.languages.sourceIndex
                    onActivated: index => view.vm.languages.selectSource(index)
                    font.pointSize: view.bodySize
                    Accessible.name: "Recognition language"
                }
                ToolButton {
                    objectName: "swapLanguagesButton"
                    icon.source: "icons/swap.svg"
                    icon.color: palette.buttonText
                    icon.width: view.swapSymbolSize
                    icon.height: view.swapSymbolSize
                    enabled: view.vm.languages.canSwap
                    onClicked: view.vm.languages.swap()
                    ToolTip.visible: hovered
                    ToolTip.text: "Swap source and target languages"
                    Accessible.name: "Swap source and target languages"
                }
                ComboBox {
                    objectName: "targetLanguageBox"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    model: view.vm.languages.targetLanguages
                    textRole: "label"
                    currentIndex: view.vm.languages.targetIndex
                    onActivated: index => view.vm.languages.selectTarget(index)
                    font.pointSize: view.bodySize
                    Accessible.name: "Translation language"
                }
            }
            Label {
                visible: view.vm.languages.sameLanguage
                text: "Same language — no translation"
                font.pointSize: view.caption2Size
                color: view.secondary
            }
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        // Audio source
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6
            Label { text: "Audio Source"; font.pointSize: view.subheadlineSize; color: view.secondary }
            GridLayout {
                Layout.fillWidth: true
                columns: 2
                columnSpacing: 0
                rowSpacing: 0
                enabled: !view.listening
                Repeater {
                    model: [{ raw: "systemAudio", label: "System Audio" },
                            { raw: "microphone", label: "Microphone" },
                            { raw: "application", label: "Application" },
                            { raw: "both", label: "Microphone + Computer" }]
                    // Radio buttons drawn as segments, two to a row: a screen reader hears
                    // a choice of four and which one is taken.
                    RadioButton {
                        id: sourceChoice
                        required property var modelData
                        readonly property bool selected: view.preferences.selectedSource === modelData.raw
                        objectName: modelData.raw + "Button"
                        Layout.fillWidth: true
                        text: modelData.label
                        checked: selected
                        // The click checked it ahead of the choice: the binding comes back.
                        onClicked: {
                            checked = Qt.binding(() => selected)
                            view.vm.selectSource(modelData.raw)
                        }
                        font.pointSize: view.bodySize
                        padding: 4
                        indicator: null
                        // The chosen source is marked, not only shaded.
                        icon.name: checked ? "object-select-symbolic" : ""
                        icon.color: UiTheme.onFill
                        icon.width: 10
                        icon.height: 10
                        spacing: 3
                        contentItem: IconLabel {
                            spacing: sourceChoice.spacing
                            icon: sourceChoice.icon
                            text: sourceChoice.text
                            font: sourceChoice.font
                            color: sourceChoice.checked ? UiTheme.onFill : sourceChoice.palette.buttonText
                        }
                        background: Rectangle {
                            implicitHeight: view.minimumTarget
                            radius: 3
                            color: sourceChoice.checked ? UiTheme.accentFill : sourceChoice.palette.button
                            border.width: 1
                            border.color: sourceChoice.palette.mid
                        }
                        FocusRing { shown: sourceChoice.visualFocus; cornerRadius: 3 }
                        Accessible.name: modelData.label
                    }
                }
            }
            ColumnLayout {
                Layout.fillWidth: true
                visible: view.vm.sourceRow === MenuBarViewModel.ApplicationPicker
                spacing: 4
                RowLayout {
                    Layout.fillWidth: true
                    Label { text: "App"; font.pointSize: view.bodySize }
                    ComboBox {
                        Layout.fillWidth: true
                        model: view.vm.state.applications
                        textRole: "name"
                        currentIndex: view.vm.state.applications.selectedIndex
                        displayText: currentIndex < 0 ? "Choose an application" : currentText
                        enabled: !view.listening
                        onActivated: index => view.vm.selectApplication(index)
                        font.pointSize: view.bodySize
                        Accessible.name: "Application"
                    }
                }
                Label {
                    visible: view.vm.state.applications.playingCount === 0 && view.listeningController.waitingStatus.length === 0
                    text: "No application is playing sound"
                    font.pointSize: view.captionSize
                    color: view.tertiary
                }
            }
            RowLayout {
                Layout.fillWidth: true
                visible: view.vm.sourceRow === MenuBarViewModel.DevicePicker
                Label { text: "Device"; font.pointSize: view.bodySize }
                ComboBox {
                    Layout.fillWidth: true
                    model: view.vm.state.audioDevices
                    textRole: "name"
                    currentIndex: view.vm.state.audioDevices.selectedIndex
                    enabled: !view.listening
                    onActivated: index => view.vm.selectDevice(index)
                    font.pointSize: view.bodySize
                    Accessible.name: "Device"
                }
            }
            Button {
                visible: view.vm.sourceRow === MenuBarViewModel.GrantButton
                flat: true
                text: "Grant Microphone Access"
                icon.name: "audio-input-microphone-symbolic"
                icon.color: palette.buttonText
                font.pointSize: view.captionSize
                onClicked: view.listeningController.askForMicrophoneAccess()
                Accessible.name: text
            }
            ColumnLayout {
                visible: view.vm.sourceRow === MenuBarViewModel.AccessDenied
                RowLayout {
                    IconImage {
                        name: "microphone-disabled-symbolic"
                        color: view.orange
                        sourceSize: Qt.size(12, 12)
                    }
                    Label { text: "Microphone access denied"; font.pointSize: view.captionSize; color: view.orange }
                }
                Button {
                    text: "Open Microphone Settings"
                    icon.name: "emblem-system-symbolic"
                    icon.color: palette.buttonText
                    font.pointSize: view.captionSize
                    onClicked: view.vm.soundSettingsRequested()
                    Accessible.name: text
                }
            }
            Label {
                visible: text.length > 0
                Layout.fillWidth: true
                text: view.listeningController.waitingStatus
                wrapMode: Text.Wrap
                font.pointSize: view.captionSize
                color: view.orange
                Accessible.role: Accessible.StaticText
            }
            Label {
                Layout.fillWidth: true
                text: view.vm.sourceDescription
                wrapMode: Text.WordWrap
                font.pointSize: view.captionSize
                color: view.secondary
            }
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        // Controls
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 8
            ColumnLayout {
                visible: view.listeningController.isModelLoading
                spacing: 6
                RowLayout {
                    BusyIndicator {
                        running: view.listeningController.isModelLoading && view.onScreen
                        Layout.preferredWidth: 16
                        Layout.preferredHeight: 16
                    }
                    Label { text: view.listeningController.modelLoadingStatus; font.pointSize: view.bodySize }
                }
                Label {
                    text: "This may take a moment on first launch"
                    font.pointSize: view.captionSize
                    color: view.tertiary
                }
            }
            Button {
                id: startStop
                objectName: "startStopButton"
                visible: !view.listeningController.isModelLoading
                Layout.fillWidth: true
                text: view.listening ? "Stop" : "Start"
                icon.name: view.listening ? "media-playback-stop-symbolic" : "media-playback-start-symbolic"
                enabled: view.vm.startStopEnabled
                highlighted: true
                // The style's focus frame is the highlight, which is the button's own colour here.
                FocusRing { shown: startStop.visualFocus; cornerRadius: 4 }
                palette.button: view.listening ? UiTheme.dangerFill : UiTheme.accentFill
                palette.highlight: view.listening ? UiTheme.dangerFill : UiTheme.accentFill
                palette.buttonText: UiTheme.onFill
                palette.highlightedText: UiTheme.onFill
                icon.color: UiTheme.onFill
                onClicked: view.vm.toggleListening()
                ToolTip.visible: hovered
                ToolTip.text: "Toggle speech-to-text transcription"
                Accessible.name: view.listening ? "Stop recording" : "Start recording"
            }
            Label {
                visible: view.listeningController.errorMessage.length > 0
                Layout.fillWidth: true
                text: view.listeningController.errorMessage
                wrapMode: Text.Wrap
                font.pointSize: view.captionSize
                color: view.red
            }
            Button {
                visible: text.length > 0
                text: view.vm.errorSettingsText
                icon.name: "emblem-system-symbolic"
                icon.color: palette.buttonText
                font.pointSize: view.captionSize
                onClicked: view.vm.soundSettingsRequested()
                Accessible.name: text
            }
            RowLayout {
                Layout.fillWidth: true
                spacing: 4
                Button {
                    objectName: "overlayButton"
                    Layout.fillWidth: true
                    text: view.preferences.showOverlay ? "Hide Overlay" : "Show Overlay"
                    icon.name: view.preferences.showOverlay ? "view-conceal-symbolic" : "view-reveal-symbolic"
                    icon.color: palette.buttonText
                    icon.width: 12; icon.height: 12
                    font.pointSize: view.captionSize
                    leftPadding: 4; rightPadding: 4
                    onClicked: view.vm.state.toggleOverlay()
                    Accessible.name: text
                }
                Button {
                    objectName: "copyAllButton"
                    Layout.fillWidth: true
                    text: view.vm.showCopyConfirm ? "Copied!" : "Copy All"
                    icon.name: view.vm.showCopyConfirm ? "object-select-symbolic" : "edit-copy-symbolic"
                    icon.color: palette.buttonText
                    icon.width: 12; icon.height: 12
                    font.pointSize: view.captionSize
                    leftPadding: 4; rightPadding: 4
                    onClicked: view.vm.copyAllWithFeedback()
                    Accessible.name: text
                }
                Button {
                    id: exportButton
                    objectName: "exportButton"
                    icon.name: "document-send-symbolic"
                    icon.color: palette.buttonText
                    icon.width: 12; icon.height: 12
                    leftPadding: 6; rightPadding: 6
                    Layout.preferredWidth: 30
                    onClicked: exportMenu.open()
                    ToolTip.visible: hovered
                    ToolTip.text: "Export transcript"
                    Accessible.name: "Export transcript"
                    Menu {
                        id: exportMenu
                        y: exportButton.height
                        MenuItem {
                            text: "Export as Plain Text (.txt)"
                            onTriggered: view.vm.state.transcript.exportAs("txt")
                        }
                        MenuItem {
                            text: "Export as SRT Subtitles (.srt)"
                            onTriggered: view.vm.state.transcript.exportAs("srt")
                        }
                        MenuItem {
                            text: "Export as WebVTT (.vtt)"
                            onTriggered: view.vm.state.transcript.exportAs("vtt")
                        }
                    }
                }
                Button {
                    objectName: "clearButton"
                    visible: !view.vm.showClearConfirm
                    icon.name: "user-trash-symbolic"
                    icon.color: palette.buttonText
                    icon.width: 12; icon.height: 12
                    leftPadding: 6; rightPadding: 6
                    Layout.preferredWidth: 30
                    onClicked: view.vm.requestClear()
                    ToolTip.visible: hovered
                    ToolTip.text: "Clear all transcriptions"
                    Accessible.name: "Clear all transcriptions"
                }
                Button {
                    visible: view.vm.showClearConfirm
                    icon.name: "object-select-symbolic"
                    icon.color: palette.buttonText
                    icon.width: 12; icon.height: 12
                    leftPadding: 6; rightPadding: 6
                    Layout.preferredWidth: 30
                    onClicked: view.vm.confirmClear()
                    ToolTip.visible: hovered
                    ToolTip.text: "Confirm clear"
                    Accessible.name: "Confirm clear"
                }
                Button {
                    visible: view.vm.showClearConfirm
                    icon.name: "window-close-symbolic"
                    icon.color: palette.buttonText
                    icon.width: 12; icon.height: 12
                    leftPadding: 6; rightPadding: 6
                    Layout.preferredWidth: 30
                    onClicked: view.vm.cancelClear()
                    ToolTip.visible: hovered
                    ToolTip.text: "Cancel"
                    Accessible.name: "Cancel"
                }
            }
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        // Clipboard
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6
            RowLayout {
                Layout.fillWidth: true
                spacing: 6
                TogglePill {
                    objectName: "autoCopyPill"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    text: "Auto Copy"
                    symbol: "edit-copy-symbolic"
                    on: view.preferences.autoCopyToClipboard
                    onSwitched: value => view.preferences.setAutoCopyToClipboard(value)
                }
                TogglePill {
                    objectName: "autoPastePill"
                    Layout.fillWidth: true
                    Layout.preferredWidth: 1
                    text: "Auto Paste"
                    symbol: "edit-paste-symbolic"
                    on: view.preferences.autoPasteAtCursor
                    onSwitched: value => view.preferences.setAutoPasteAtCursor(value)
                }
            }
            RowLayout {
                visible: view.preferences.autoPasteAtCursor
                Layout.fillWidth: true
                Item { Layout.fillWidth: true }
                ChoicePill {
                    objectName: "pasteOriginalChoice"
                    text: "Original"
                    selected: view.preferences.autoPasteSourceRaw === "original"
                    onChosen: view.preferences.setAutoPasteSourceRaw("original")
                }
                ChoicePill {
                    objectName: "pasteTranslationChoice"
                    text: "Translation"
                    selected: view.preferences.autoPasteSourceRaw === "translation"
                    onChosen: view.preferences.setAutoPasteSourceRaw("translation")
                }
            }
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        // Dictation
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 6
            Label { text: "Dictation"; font.pointSize: view.subheadlineSize; color: view.secondary }
            TogglePill {
                objectName: "holdToDictatePill"
                Layout.fillWidth: true
                text: view.vm.holdKeyName + " Hold-to-Dictate"
                symbol: "audio-input-microphone-symbolic"
                on: view.preferences.dictationModeEnabled
                onSwitched: value => view.preferences.setDictationModeEnabled(value)
            }
            Label {
                visible: view.preferences.dictationModeEnabled
                text: "Hold " + view.vm.holdKeyName + " to dictate, release to paste"
                font.pointSize: view.caption2Size
                color: view.tertiary
            }
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        Button {
            objectName: "settingsButton"
            Layout.fillWidth: true
            flat: true
            text: "Settings"
            icon.name: "emblem-system-symbolic"
            icon.color: palette.buttonText
            onClicked: view.vm.state.showSettings()
            Accessible.name: "Settings"
        }

        MenuSeparator { Layout.fillWidth: true; padding: 0 }

        // A newer version, marked until the user looks at it.
        Button {
            readonly property UpdateNotice notice: view.vm.updateNotice
            visible: notice !== null && notice.markShown
            Layout.fillWidth: true
            flat: true
            text: "Update available"
            icon.name: "software-update-available-symbolic"
            icon.color: view.blue
            palette.buttonText: view.blue
            font.pointSize: view.captionSize
            font.weight: Font.Medium
            onClicked: notice.open()
            ToolTip.visible: hovered
            ToolTip.text: notice !== null ? "Orvinta " + notice.version + " is available" : ""
            Accessible.name: ToolTip.text
        }

        // Footer
        RowLayout {
            Layout.fillWidth: true
            Button {
                objectName: "quitButton"
                flat: true
                text: "Quit"
                icon.name: "system-shutdown-symbolic"
                icon.color: view.secondary
                palette.buttonText: view.secondary
                palette.windowText: view.secondary
                onClicked: view.vm.quitRequested()
                Accessible.name: "Quit"
            }
            Item { Layout.fillWidth: true }
            Rectangle {
                visible: view.vm.shortcutText.length > 0
                radius: 3
                color: Qt.rgba(view.primary.r, view.primary.g, view.primary.b, 0.05)
                implicitWidth: hint.implicitWidth + 12
                implicitHeight: hint.implicitHeight + 4
                Accessible.role: Accessible.StaticText
                Accessible.name: "Start and stop shortcut " + view.vm.shortcutText
                Row {
                    id: hint
                    anchors.centerIn: parent
                    spacing: 3
                    IconImage {
                        name: "input-keyboard-symbolic"
                        color: view.quaternary
                        sourceSize: Qt.size(view.hintSymbolSize, view.hintSymbolSize)
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Text {
                        text: view.vm.shortcutText
                        font.pointSize: view.hintSize
                        font.weight: Font.Medium
                        font.family: "monospace"
                        color: view.quaternary
                    }
                }
            }
        }

        // What the session keeps from the keyboard features
        ColumnLayout {
            objectName: "sessionNote"
            visible: view.vm.sessionNote !== ""
            Layout.fillWidth: true
            spacing: 2
            Label {
                Layout.fillWidth: true
                text: view.vm.sessionNote
                wrapMode: Text.Wrap
                font.pointSize: view.captionSize
                color: view.secondary
            }
            Label {
                objectName: "whatWorksHereLink"
                text: "What works here"
                font.pointSize: view.captionSize
                font.underline: true
                color: palette.link
                Accessible.role: Accessible.Link
                Accessible.name: text
                Accessible.onPressAction: view.vm.capabilitiesRequested()
                activeFocusOnTab: true
                Keys.onReturnPressed: view.vm.capabilitiesRequested()
                Keys.onSpacePressed: view.vm.capabilitiesRequested()
                FocusRing { shown: parent.activeFocus; cornerRadius: 2 }
                MouseArea {
                    anchors.fill: parent
                    cursorShape: Qt.PointingHandCursor
                    onClicked: view.vm.capabilitiesRequested()
                }
            }
        }
    }
}
