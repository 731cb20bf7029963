import QtQuick
import QtQuick.Controls
import Orvinta.Ui

// A plain button that shows one symbolic icon, at least 24 × 24 to hit. Tab
// reaches it; a click does not take the keyboard from another window.
AbstractButton {
    id: button

    required property string iconName
    property color iconColor: "black"
    property int iconSize: 12
    property string toolTip: ""
    property color focusColor: "#007aff"

    readonly property int minimumTarget: 24

    implicitWidth: Math.max(minimumTarget, iconSize + 4)
    implicitHeight: Math.max(minimumTarget, iconSize + 4)
    focusPolicy: Qt.TabFocus
    hoverEnabled: true
    opacity: enabled ? 1 : 0.4
    Accessible.role: Accessible.Button
    Keys.onReturnPressed: clicked()
    Keys.onEnterPressed: clicked()

    contentItem: Item {
        OverlayIcon {
            anchors.centerIn: parent
            name: button.iconName
            color: button.iconColor
            size: button.iconSize
        }
    }
    background: null

    FocusRing {
        shown: button.visualFocus
        ringColor: button.focusColor
        cornerRadius: button.width / 2
    }

    ToolTip.visible: toolTip !== "" && hovered
    ToolTip.text: toolTip
    ToolTip.delay: 600
}
