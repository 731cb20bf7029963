import QtQuick

// Where the keyboard is: a ring just outside its item's edge, clear of the
// item's own colours (a blue button's highlight is blue too).
Rectangle {
    id: ring

    property bool shown: false
    property color ringColor: system.highlight
    property real cornerRadius: 4

    readonly property int ringWidth: 2
    readonly property int outset: 3

    anchors.fill: parent
    anchors.margins: -outset
    visible: shown
    radius: cornerRadius + outset
    color: "transparent"
    border.width: ringWidth
    border.color: ringColor
    Accessible.ignored: true

    SystemPalette {
        id: system
        colorGroup: SystemPalette.Active
    }
}
