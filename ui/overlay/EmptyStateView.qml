import QtQuick
import Orvinta.Ui

// What the list shows before anything was said; the start/stop shortcut
// only while it is registered.
Column {
    id: empty

    required property OverlayColors colors
    required property string title
    required property string shortcut
    readonly property bool hasShortcut: shortcut !== ""

    readonly property int iconSize: 28
    readonly property real titleFontSize: UiTheme.headlineSize
    readonly property real hintFontSize: UiTheme.smallTextSize
    readonly property int verticalPadding: 24
    readonly property real keyFillAlpha: 0.08

    spacing: 10
    topPadding: verticalPadding
    bottomPadding: verticalPadding
    Accessible.role: Accessible.StaticText
    Accessible.name: title

    OverlayIcon {
        anchors.horizontalCenter: parent.horizontalCenter
        name: "audio-input-microphone-symbolic"
        color: empty.colors.tertiary
        size: empty.iconSize
    }
    Text {
        anchors.horizontalCenter: parent.horizontalCenter
        text: empty.title
        font.pointSize: empty.titleFontSize
        font.weight: Font.Medium
        color: empty.colors.tertiary
    }
    Row {
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 4

        Text {
            anchors.verticalCenter: parent.verticalCenter
            visible: empty.hasShortcut
            text: "Press"
            font.pointSize: empty.hintFontSize
            color: empty.colors.quaternary
        }
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            visible: empty.hasShortcut
            width: key.implicitWidth + 8
            height: key.implicitHeight + 2
            radius: 3
            color: empty.colors.fill(empty.keyFillAlpha)
            Text {
                id: key
                anchors.centerIn: parent
                text: empty.shortcut
                font.pointSize: empty.hintFontSize
                font.weight: Font.DemiBold
                font.family: "monospace"
                color: empty.colors.tertiary
                Accessible.name: text
            }
        }
        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: empty.hasShortcut ? "or click Start in Orvinta's panel"
                                    : "Click Start in Orvinta's panel"
            font.pointSize: empty.hintFontSize
            color: empty.colors.quaternary
        }
    }
}
