import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import Orvinta.Ui

// One choice of a small set, drawn as a capsule; the chosen one is tinted,
// outlined and checked. A radio button, so that screen readers hear a choice
// and which one is taken.
RadioButton {
    id: pill

    readonly property real labelSize: UiTheme.smallTextSize
    readonly property int symbolSize: 9
    readonly property int pillHorizontalPadding: 10
    readonly property int pillVerticalPadding: 3
    readonly property real selectedFill: 0.15
    readonly property int minimumTarget: 24

    property bool selected: false
    property color accent: UiTheme.accent
    /// The user picks this choice; the owner decides and `selected` follows.
    signal chosen()

    checked: selected
    autoExclusive: false
    onClicked: {
        checked = Qt.binding(() => pill.selected)
        pill.chosen()
    }
    Accessible.name: text
    leftPadding: pillHorizontalPadding
    rightPadding: pillHorizontalPadding
    topPadding: pillVerticalPadding
    bottomPadding: pillVerticalPadding
    implicitHeight: Math.max(minimumTarget, implicitContentHeight + topPadding + bottomPadding)
    indicator: null

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

    FocusRing {
        shown: pill.visualFocus
        cornerRadius: pill.height / 2
    }
}
