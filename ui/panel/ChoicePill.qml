import QtQuick
import QtQuick.Controls
import Orvinta.Ui

// One choice of a small set, drawn as a capsule with a radio dot. A radio
// button, so that screen readers hear a choice and which one is taken.
RadioButton {
    id: pill

    readonly property int labelSize: 10
    readonly property int pillHorizontalPadding: 10
    readonly property int pillVerticalPadding: 3
    readonly property real selectedFill: 0.15
    readonly property int dotSize: 8
    readonly property real dotOutline: 1.5
    readonly property int minimumTarget: 24

    property bool selected: false
    property color accent: palette.highlight
    property color primary: palette.windowText
    property real tertiaryOpacity: 0.45
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
    spacing: 4
    implicitHeight: Math.max(minimumTarget, implicitContentHeight + topPadding + bottomPadding)

    readonly property color foreground: pill.selected ? pill.accent
                                                      : Qt.rgba(pill.primary.r, pill.primary.g, pill.primary.b, pill.tertiaryOpacity)

    indicator: Rectangle {
        x: pill.leftPadding
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: pill.dotSize
        implicitHeight: pill.dotSize
        radius: width / 2
        color: "transparent"
        border.width: pill.dotOutline
        border.color: pill.foreground
        Rectangle {
            anchors.centerIn: parent
            visible: pill.selected
            width: parent.width / 2
            height: width
            radius: width / 2
            color: pill.foreground
        }
    }
    background: Rectangle {
        radius: height / 2
        color: pill.selected ? Qt.rgba(pill.accent.r, pill.accent.g, pill.accent.b, pill.selectedFill)
                             : "transparent"
        Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    }
    contentItem: Text {
        leftPadding: pill.indicator.width + pill.spacing
        text: pill.text
        font.pixelSize: pill.labelSize
        font.weight: Font.Medium
        color: pill.foreground
        verticalAlignment: Text.AlignVCenter
    }

    FocusRing {
        shown: pill.visualFocus
        cornerRadius: pill.height / 2
    }
}
