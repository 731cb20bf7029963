import QtQuick
import QtQuick.Controls

// A plain button that shows one symbolic icon.
AbstractButton {
    id: button

    required property string iconName
    property color iconColor: "black"
    property int iconSize: 12
    property string toolTip: ""

    implicitWidth: iconSize + 4
    implicitHeight: iconSize + 4
    focusPolicy: Qt.NoFocus
    hoverEnabled: true
    opacity: enabled ? 1 : 0.4
    Accessible.role: Accessible.Button

    contentItem: Item {
        OverlayIcon {
            anchors.centerIn: parent
            name: button.iconName
            color: button.iconColor
            size: button.iconSize
        }
    }
    background: null

    ToolTip.visible: toolTip !== "" && hovered
    ToolTip.text: toolTip
    ToolTip.delay: 600
}
