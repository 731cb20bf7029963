import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import Orvinta.Ui

// One choice of a small set, drawn as a capsule; the chosen one is tinted,
// outlined and checked.
AbstractButton {
    id: pill

    readonly property real labelSize: UiTheme.smallTextSize
    readonly property int symbolSize: 9
    readonly property int pillHorizontalPadding: 10
    readonly property int pillVerticalPadding: 3
    readonly property real selectedFill: 0.15

    property bool selected: false
    property color accent: UiTheme.accent

    Accessible.role: Accessible.RadioButton
    Accessible.name: text
    Accessible.checked: selected
    leftPadding: pillHorizontalPadding
    rightPadding: pillHorizontalPadding
    topPadding: pillVerticalPadding
    bottomPadding: pillVerticalPadding

    background: Rectangle {
        radius: height / 2
        color: pill.selected ? Qt.rgba(pill.accent.r, pill.accent.g, pill.accent.b, pill.selectedFill)
                             : "transparent"
        border.width: pill.selected ? 1 : 0
        border.color: pill.accent
        Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    }
    contentItem: Row {
        spacing: 3
        IconImage {
            visible: pill.selected
            name: "object-select-symbolic"
            color: pill.accent
            sourceSize: Qt.size(pill.symbolSize, pill.symbolSize)
            anchors.verticalCenter: parent.verticalCenter
        }
        Text {
            text: pill.text
            font.pointSize: pill.labelSize
            font.weight: pill.selected ? Font.DemiBold : Font.Medium
            color: pill.selected ? palette.windowText : UiTheme.secondaryText
            anchors.verticalCenter: parent.verticalCenter
        }
    }
}
