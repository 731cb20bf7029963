import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// A shortcut field: shows the combination, and after a click waits for a new
// one. `recorder` is a recorder model (displayText, isRecording,
// toggleRecording(), cancelRecording() and handleKeyPress()); with
// `holdKey` set it records one key and its handleKeyPress() takes the key
// and its X keysym instead of the modifiers.
AbstractButton {
    id: field

    required property QtObject recorder
    property bool holdKey: false
    property string label

    readonly property int horizontalMargin: 8
    readonly property int verticalMargin: 2
    readonly property int cornerRadius: 4
    readonly property real recordingFillOpacity: 0.1
    readonly property real idleFillOpacity: 0.05
    readonly property string waitingText: "Press shortcut..."

    readonly property bool recording: recorder ? recorder.isRecording : false
    readonly property string shownText: recording ? waitingText
                                                  : (recorder ? recorder.displayText : "")

    function tinted(c, alpha) { return Qt.rgba(c.r, c.g, c.b, alpha) }

    leftPadding: horizontalMargin
    rightPadding: horizontalMargin
    topPadding: verticalMargin
    bottomPadding: verticalMargin
    // A click must not move the keyboard focus away from the capture view.
    focusPolicy: Qt.NoFocus
    hoverEnabled: true

    contentItem: RowLayout {
        spacing: 4
        Label {
            text: field.shownText
            font.family: "monospace"
            color: field.recording ? palette.placeholderText : palette.windowText
        }
    }
    background: Rectangle {
        implicitWidth: 90
        implicitHeight: 24
        radius: field.cornerRadius
        color: field.recording ? field.tinted(palette.highlight, field.recordingFillOpacity)
                               : field.tinted(palette.windowText, field.idleFillOpacity)
        border.width: 1
        border.color: field.recording ? palette.highlight : "transparent"
    }

    onClicked: recorder.toggleRecording()

    KeyCaptureItem {
        id: capture
        anchors.fill: parent
        visible: field.recording
        onKeyPressed: (key, modifiers, nativeKey) => {
            if (field.holdKey)
                field.recorder.handleKeyPress(key, nativeKey)
            else
                field.recorder.handleKeyPress(key, modifiers)
        }
    }
    onRecordingChanged: {
        if (recording)
            capture.forceActiveFocus()
    }

    Accessible.role: Accessible.Button
    Accessible.name: label + ": " + shownText
}
