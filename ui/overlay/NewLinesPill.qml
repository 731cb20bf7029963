import QtQuick
import QtQuick.Controls

// Shown while lines arrived below the visible part of the list.
AbstractButton {
    id: pill

    property bool shown: false
    property bool animated: true

    readonly property int fontSize: 9
    readonly property real fillAlpha: 0.8
    readonly property int slide: 8
    readonly property int duration: 200
    readonly property int minimumTarget: 24

    implicitWidth: label.implicitWidth + 16
    implicitHeight: Math.max(minimumTarget, label.implicitHeight + 8)
    // The keyboard's End reaches the newest line.
    focusPolicy: Qt.NoFocus
    visible: opacity > 0
    opacity: shown ? 1 : 0
    transform: Translate { y: pill.shown ? 0 : pill.slide; Behavior on y { enabled: pill.animated; NumberAnimation { duration: pill.duration } } }
    Accessible.name: "Jump to new lines"

    Behavior on opacity {
        enabled: pill.animated
        NumberAnimation { duration: pill.duration }
    }

    background: Rectangle {
        radius: height / 2
        color: Qt.rgba(0.04, 0.52, 1, pill.fillAlpha)
    }
    contentItem: Row {
        id: label
        spacing: 4
        OverlayIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "go-down-symbolic"
            color: "white"
            size: pill.fontSize
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "New"
            color: "white"
            font.pixelSize: pill.fontSize
            font.weight: Font.DemiBold
        }
    }
}
