import QtQuick
import QtQuick.Controls
import Orvinta.Ui

// Shown while lines arrived below the visible part of the list.
AbstractButton {
    id: pill

    property bool shown: false
    property bool animated: true

    readonly property real fontSize: UiTheme.smallTextSize
    readonly property int iconSize: 10
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
        color: UiTheme.accentFill
    }
    contentItem: Row {
        id: label
        spacing: 4
        OverlayIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "go-down-symbolic"
            color: UiTheme.onFill
            size: pill.iconSize
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: "New"
            color: UiTheme.onFill
            font.pointSize: pill.fontSize
            font.weight: Font.DemiBold
        }
    }
}
