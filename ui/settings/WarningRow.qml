import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts

// Missing trust to type into other windows, with the way to fix it.
RowLayout {
    id: row

    property string message
    signal openSettings()

    readonly property int symbolSize: 16
    readonly property color warningColor: "#e5a50a"

    Layout.fillWidth: true
    spacing: 6

    IconImage {
        name: "dialog-warning-symbolic"
        color: row.warningColor
        sourceSize.width: row.symbolSize
        sourceSize.height: row.symbolSize
        Accessible.ignored: true
    }
    Label {
        Layout.fillWidth: true
        text: row.message
        wrapMode: Text.Wrap
        Accessible.name: text
    }
    Button {
        text: "Open Accessibility Settings"
        onClicked: row.openSettings()
        Accessible.name: text
    }
}
