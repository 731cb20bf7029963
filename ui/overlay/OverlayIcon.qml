import QtQuick

// A symbolic icon of the icon theme, tinted with one colour.
Item {
    id: icon

    required property string name
    property color color: "black"
    property int size: 12

    readonly property string tint: String(color).substring(1)

    implicitWidth: size
    implicitHeight: size

    Image {
        anchors.fill: parent
        sourceSize.width: icon.size * 2
        sourceSize.height: icon.size * 2
        fillMode: Image.PreserveAspectFit
        smooth: true
        source: icon.name === "" ? "" : "image://overlayicon/" + icon.name + "/" + icon.tint
    }
}
