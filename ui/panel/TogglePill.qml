import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import Orvinta.Ui

// A switch drawn as a pill. On, it is tinted, outlined more firmly and
// carries a check mark, so the state shows without its colour. Checkable,
// so that screen readers hear a check box and its state, on or off.
AbstractButton {
    id: pill

    readonly property int symbolSize: 10
    readonly property real labelSize: UiTheme.textSize
    readonly property int spacingInside: 4
    readonly property int pillVerticalPadding: 5
    readonly property int radius: 6
    readonly property real onFill: 0.15
    readonly property real offFill: 0.05
    readonly property real offOutline: 0.3
    readonly property real checkedOutlineWidth: 1.5
    readonly property real offOutlineWidth: 0.5
    readonly property int minimumTarget: 24

    property string symbol
    property bool on: false
    property color accent: UiTheme.accent
    property color primary: palette.windowText
    /// The user asks for `value`; the owner decides and `on` follows.
    signal switched(bool value)

    checkable: true
    checked: on
    // The click flipped `checked` ahead of the owner: the binding comes back.
    onToggled: {
        const value = checked
        checked = Qt.binding(() => pill.on)
        pill.switched(value)
    }
    Accessible.name: text
    Accessible.checkable: true
    implicitHeight: Math.max(minimumTarget, content.implicitHeight + 2 * pillVerticalPadding)

    // The words in the text colour, which reads on the tint too; the accent
    // marks the outline and the check.
    readonly property color foreground: on ? primary : UiTheme.secondaryText

    background: Rectangle {
        radius: pill.radius
        color: pill.on ? Qt.rgba(pill.accent.r, pill.accent.g, pill.accent.b, pill.onFill)
                       : Qt.rgba(pill.primary.r, pill.primary.g, pill.primary.b, pill.offFill)
        border.width: pill.on ? pill.checkedOutlineWidth : pill.offOutlineWidth
        border.color: pill.on ? pill.accent
                              : Qt.rgba(pill.primary.r, pill.primary.g, pill.primary.b, pill.offOutline)
        Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    }
    contentItem: Item {
        implicitHeight: content.implicitHeight
        Row {
            id: content
            anchors.centerIn: parent
            spacing: pill.spacingInside
            IconImage {
                name: pill.on ? "object-select-symbolic" : pill.symbol
                color: pill.on ? pill.accent : pill.foreground
                sourceSize: Qt.size(pill.symbolSize, pill.symbolSize)
                anchors.verticalCenter: parent.verticalCenter
            }
            Text {
                text: pill.text
                font.pointSize: pill.labelSize
                font.weight: pill.on ? Font.DemiBold : Font.Normal
                color: pill.foreground
                anchors.verticalCenter: parent.verticalCenter
            }
        }
    }

    FocusRing {
        shown: pill.visualFocus
        cornerRadius: pill.radius
    }
}
