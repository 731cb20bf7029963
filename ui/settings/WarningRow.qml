import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.Ui

// Something that does not work here, with the button that leads to its fix.
RowLayout {
    id: row

    property string message
    property string actionText
    signal action()

    readonly property int symbolSize: 16
    readonly property color warningColor: UiTheme.warning

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
        visible: row.actionText !== ""
        text: row.actionText
        onClicked: row.action()
        Accessible.name: text
    }
}
