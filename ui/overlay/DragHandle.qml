import QtQuick

// The capsule that shows where the overlay can be dragged.
Rectangle {
    id: handle

    required property OverlayColors colors

    readonly property real restAlpha: 0.4
    readonly property real hoverAlpha: 0.6
    readonly property int hoverDuration: 150

    width: 36
    height: 4
    radius: height / 2
    color: Qt.rgba(colors.secondary.r, colors.secondary.g, colors.secondary.b,
                   colors.secondary.a * (hover.hovered ? hoverAlpha : restAlpha))
    Accessible.role: Accessible.Grip
    Accessible.name: "Drag to reposition overlay"

    HoverHandler {
        id: hover
    }
    Behavior on color {
        enabled: handle.visible
        ColorAnimation { duration: handle.hoverDuration; easing.type: Easing.OutQuad }
    }
}
