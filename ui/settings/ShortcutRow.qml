import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A labelled shortcut field with the reset button, shown only while the
// combination differs from the default.
RowLayout {
    id: row

    required property QtObject recorder
    property string label: recorder ? recorder.label : ""
    property bool holdKey: false
    readonly property alias field: field
    readonly property alias resetButton: reset

    readonly property int resetSymbolSize: 12

    Layout.fillWidth: true
    spacing: 4

    Label {
        Layout.fillWidth: true
        text: row.label
    }
    ShortcutRecorderButton {
        id: field
        recorder: row.recorder
        holdKey: row.holdKey
        label: row.label
    }
    ToolButton {
        id: reset
        objectName: "resetButton"
        visible: row.recorder ? row.recorder.canReset : false
        flat: true
        icon.name: "edit-undo-symbolic"
        icon.width: row.resetSymbolSize
        icon.height: row.resetSymbolSize
        icon.color: palette.buttonText
        ToolTip.text: row.recorder ? row.recorder.resetToolTip : ""
        ToolTip.visible: hovered
        ToolTip.delay: 500
        onClicked: row.recorder.resetToDefault()
        Accessible.name: ToolTip.text
    }
}
