import QtQuick
import Orvinta.Ui

// The overlay's window: the view, and the two resize handles above it.
Window {
    id: window

    required property OverlayWindowController controller
    required property OverlayViewModel viewModel

    readonly property int handleSize: 20
    readonly property int fadeOutDuration: 500
    readonly property int fadeInDuration: 300

    width: 600
    height: 280
    color: "transparent"
    title: "Orvinta Overlay"

    OverlayView {
        id: view
        anchors.fill: parent
        controller: window.controller
        viewModel: window.viewModel
        opacity: window.controller.backgroundHidden ? 0 : 1

        Behavior on opacity {
            enabled: window.visible && !window.controller.reducedMotion
            NumberAnimation {
                duration: window.controller.backgroundHidden ? window.fadeOutDuration
                                                             : window.fadeInDuration
                easing.type: window.controller.backgroundHidden ? Easing.InQuad : Easing.OutQuad
            }
        }
    }

    OverlayResizeHandle {
        objectName: "bottomRightHandle"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        width: window.handleSize
        height: window.handleSize
        Accessible.role: Accessible.Grip
        Accessible.name: "Resize overlay"
    }

    OverlayResizeHandle {
        objectName: "bottomLeftHandle"
        bottomLeft: true
        anchors.left: parent.left
        anchors.bottom: parent.bottom
        width: window.handleSize
        height: window.handleSize
        Accessible.role: Accessible.Grip
        Accessible.name: "Resize overlay"
    }
}
