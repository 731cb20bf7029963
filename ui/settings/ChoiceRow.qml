import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A labelled drop-down of choices ({label, value} rows, or plain strings).
RowLayout {
    id: row

    property string label
    property alias model: box.model
    property alias currentIndex: box.currentIndex
    property alias textRole: box.textRole
    signal activated(int index)

    readonly property int labelWidth: 120

    Layout.fillWidth: true
    spacing: 8

    Label {
        Layout.preferredWidth: row.labelWidth
        text: row.label
    }
    ComboBox {
        id: box
        Layout.fillWidth: true
        textRole: "label"
        onActivated: index => row.activated(index)
        Accessible.name: row.label
    }
}
