import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A labelled shortcut field with the reset button, shown only while the
// combination differs from the default. Its owner binds a recorder model's
// state in and connects the signals to the model's calls.
RowLayout {
    id: row

    property string label
    property string displayText
    property bool recording: false
    property bool canReset: false
    property string resetToolTip
    readonly property alias field: field
    readonly property alias resetButton: reset

    signal toggleRecording()
    signal resetToDefault()
    signal keyPressed(int key, int modifiers, int nativeKey)

    readonly property int resetSymbolSize: 12

    Layout.fillWidth: true
    spacing: 4

    Label {
        Layout.fillWidth: true
        text: row.label
    }
    ShortcutRecorderButton {
        id: field
        label: row.label
        displayText: row.displayText
        recording: row.recording
        onClicked: row.toggleRecording()
        onKeyPressed: (key, modifiers, nativeKey) => row.keyPressed(key, modifiers, nativeKey)
    }
    ToolButton {
        id: reset
        objectName: "resetButton"
        visible: row.canReset
        flat: true
        icon.name: "edit-undo-symbolic"
        icon.width: row.resetSymbolSize
        icon.height: row.resetSymbolSize
        icon.color: palette.buttonText
        ToolTip.text: row.resetToolTip
        ToolTip.visible: hovered
        ToolTip.delay: 500
        onClicked: row.resetToDefault()
        Accessible.name: ToolTip.text
    }
}
