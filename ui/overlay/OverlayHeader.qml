import QtQuick
import Orvinta.Ui

// The drag strip with the close button at its right; dragging it moves the window.
OverlayMoveArea {
    id: header

    required property OverlayColors colors
    required property OverlayViewModel viewModel

    readonly property int handleTopPadding: 8
    readonly property int handleBottomPadding: 4
    readonly property int closeSize: 16
    readonly property int closeTarget: 24
    readonly property int closeIconSize: 8
    readonly property int closeTrailingPadding: 4
    readonly property int closeTopPadding: 3

    implicitHeight: Math.max(dragHandle.height + handleTopPadding + handleBottomPadding,
                             closeTarget + closeTopPadding)

    DragHandle {
        id: dragHandle
        anchors.horizontalCenter: parent.horizontalCenter
        y: header.handleTopPadding
        colors: header.colors
    }

    OverlayIconButton {
        id: closeButton
        objectName: "closeButton"
        anchors.right: parent.right
        anchors.rightMargin: header.closeTrailingPadding
        y: header.closeTopPadding
        width: header.closeTarget
        height: header.closeTarget
        iconName: "window-close-symbolic"
        iconColor: header.colors.secondary
        iconSize: header.closeIconSize
        toolTip: header.viewModel.closeToolTip
        focusColor: header.colors.accent
        Accessible.name: "Hide overlay"
        // On the captions' backdrop, so that it shows whatever the window opacity.
        background: Item {
            Rectangle {
                anchors.centerIn: parent
                width: header.closeSize
                height: header.closeSize
                radius: width / 2
                color: header.colors.backdrop
            }
        }
        onClicked: header.viewModel.hideOverlay()
    }
}
