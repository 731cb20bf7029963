import QtQuick
import QtQuick.Controls
import Orvinta.Ui

// "Line deleted — Undo" while a deletion can be undone; a click or Ctrl+Z
// in the list puts the line back.
AbstractButton {
    id: notice

    property color focusColor: "#007aff"

    readonly property int fontSize: 9
    readonly property real fillAlpha: 0.85
    readonly property int minimumTarget: 24

    implicitWidth: label.implicitWidth + 16
    implicitHeight: Math.max(minimumTarget, label.implicitHeight + 8)
    visible: text !== ""
    focusPolicy: Qt.TabFocus
    Accessible.role: Accessible.Button
    Accessible.name: text
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    background: Rectangle {
        radius: height / 2
        color: Qt.rgba(0.2, 0.2, 0.22, notice.fillAlpha)
    }
    contentItem: Text {
        id: label
        text: notice.text
        color: "white"
        font.pixelSize: notice.fontSize
        font.weight: Font.DemiBold
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    FocusRing {
        shown: notice.visualFocus
        ringColor: notice.focusColor
        cornerRadius: notice.height / 2
    }
}
