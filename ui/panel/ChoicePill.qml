import QtQuick
import QtQuick.Controls

// One choice of a small set, drawn as a capsule.
AbstractButton {
    id: pill

    readonly property int labelSize: 10
    readonly property int pillHorizontalPadding: 10
    readonly property int pillVerticalPadding: 3
    readonly property real selectedFill: 0.15

    property bool selected: false
    property color accent: palette.highlight
    property color primary: palette.windowText
    property real tertiaryOpacity: 0.45

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
        Behavior on color { ColorAnimation { duration: 150; easing.type: Easing.InOutQuad } }
    }
    contentItem: Text {
        text: pill.text
        font.pixelSize: pill.labelSize
        font.weight: Font.Medium
        color: pill.selected ? pill.accent
                             : Qt.rgba(pill.primary.r, pill.primary.g, pill.primary.b, pill.tertiaryOpacity)
    }
}
