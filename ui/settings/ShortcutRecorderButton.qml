import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// A shortcut field: shows `displayText`, and while `recording` says so and
// reports each key press with its modifiers and X keysym. Its owner turns a
// click, Enter or Space into the model's toggleRecording(); Escape ends a
// recording, and the keyboard comes back to the field.
AbstractButton {
    id: field

    property string displayText
    property bool recording: false
    property string label

    signal keyPressed(int key, int modifiers, int nativeKey)

    readonly property int horizontalMargin: 8
    readonly property int verticalMargin: 2
    readonly property int cornerRadius: 4
    readonly property real recordingFillOpacity: 0.1
    readonly property real idleFillOpacity: 0.05
    readonly property string waitingText: "Press shortcut..."

    readonly property string shownText: recording ? waitingText : displayText

    function tinted(c, alpha) { return Qt.rgba(c.r, c.g, c.b, alpha) }

    leftPadding: horizontalMargin
    rightPadding: horizontalMargin
    topPadding: verticalMargin
    bottomPadding: verticalMargin
    focusPolicy: Qt.StrongFocus
    hoverEnabled: true
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

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

    // Always there (it draws nothing), so that its focus can pass back to the field.
    KeyCaptureItem {
        id: capture
        anchors.fill: parent
        onKeyPressed: (key, modifiers, nativeKey) => field.keyPressed(key, modifiers, nativeKey)
    }
    onRecordingChanged: {
        if (recording)
            capture.forceActiveFocus()
        else if (capture.activeFocus)
            field.forceActiveFocus(Qt.TabFocusReason)
    }

    FocusRing {
        shown: field.visualFocus || field.recording
        cornerRadius: field.cornerRadius
    }

    Accessible.role: Accessible.Button
    Accessible.name: label + ": " + shownText
}
