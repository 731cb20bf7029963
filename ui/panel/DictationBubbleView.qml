import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import Orvinta.Ui

// The dictation bubble: five level bars and what is being recognised, on a
// capsule near the bottom of the screen. It never takes the focus.
Window {
    id: window

    readonly property int barCount: 5
    readonly property var barHeights: [8, 14, 10, 16, 7]
    readonly property var barHalfPeriods: [450, 600, 500, 650, 400]
    readonly property int barStartDelay: 80
    readonly property int barRestingHeight: 3
    readonly property int barWidth: 3
    readonly property real barRadius: 1.5
    readonly property real barOpacity: 0.7
    readonly property int barSpacing: 2
    readonly property int barFrameHeight: 18
    readonly property int contentSpacing: 8
    readonly property int innerHorizontal: 14
    readonly property int innerVertical: 10
    readonly property int outerSide: 24
    readonly property int outerTop: 20
    readonly property int outerBottom: 24
    readonly property real strokeOpacity: 0.15
    readonly property real strokeWidth: 0.5
    readonly property real smallTextSize: UiTheme.textSize
    readonly property int symbolSize: 12
    readonly property real shadowOpacity: 0.3
    readonly property int shadowRadius: 12
    readonly property int shadowOffset: 4
    readonly property color green: UiTheme.success
    readonly property color primary: palette.windowText
    readonly property color secondary: UiTheme.secondaryText

    required property DictationBubble bubble

    flags: Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
           | Qt.WindowDoesNotAcceptFocus | Qt.X11BypassWindowManagerHint
    color: "transparent"
    x: bubble.frame.x
    y: bubble.frame.y
    width: bubble.frame.width
    height: bubble.frame.height
    visible: bubble.windowVisible
    title: "Orvinta Dictation"

    Binding {
        target: window.bubble
        property: "fittingSize"
        value: Qt.size(capsule.implicitWidth + 2 * window.outerSide,
                       capsule.implicitHeight + window.outerTop + window.outerBottom)
    }

    Item {
        id: content
        anchors.fill: parent
        opacity: 0
        NumberAnimation {
            id: fade
            target: content
            property: "opacity"
            duration: window.bubble.fadeMs
        }
        Connections {
            target: window.bubble
            function onFadeInRequested() { fade.stop(); content.opacity = 0; fade.to = 1; fade.start() }
            function onFadeOutRequested() { fade.stop(); fade.to = 0; fade.start() }
        }

        // A soft shadow: rings of fading black under the capsule.
        Repeater {
            model: window.shadowRadius / 2
            Rectangle {
                required property int index
                readonly property int grow: (index + 1) * 2
                x: capsule.x - grow / 2
                y: capsule.y + window.shadowOffset - grow / 2
                width: capsule.width + grow
                height: capsule.height + grow
                radius: height / 2
                color: Qt.rgba(0, 0, 0, window.shadowOpacity / (window.shadowRadius / 2) * 0.6)
            }
        }

        Rectangle {
            id: capsule
            x: window.outerSide
            y: window.outerTop
            width: parent.width - 2 * window.outerSide
            height: parent.height - window.outerTop - window.outerBottom
            implicitWidth: row.implicitWidth + 2 * window.innerHorizontal
            implicitHeight: row.implicitHeight + 2 * window.innerVertical
            radius: height / 2
            // Opaque, so that its texts keep their contrast over any desktop.
            color: window.palette.window
            border.width: window.strokeWidth
            border.color: Qt.rgba(1, 1, 1, window.strokeOpacity)

            Row {
                id: row
                anchors.centerIn: parent
                spacing: window.contentSpacing

                Row {
                    id: bars
                    height: window.barFrameHeight
                    spacing: window.barSpacing
                    anchors.verticalCenter: parent.verticalCenter
                    Accessible.role: Accessible.Animation
                    Accessible.name: "Audio level"
                    Repeater {
                        model: window.barCount
                        Rectangle {
                            id: bar
                            required property int index
                            readonly property real fullHeight: window.barHeights[index]
                            anchors.verticalCenter: parent.verticalCenter
                            width: window.barWidth
                            radius: window.barRadius
                            color: Qt.rgba(window.palette.highlight.r, window.palette.highlight.g,
                                           window.palette.highlight.b, window.barOpacity)
                            height: window.bubble.reducedMotion ? fullHeight : window.barRestingHeight
                            SequentialAnimation {
                                running: window.bubble.barsAnimating
                                onStopped: bar.height = window.bubble.reducedMotion ? bar.fullHeight
                                                                                     : window.barRestingHeight
                                PauseAnimation { duration: bar.index * window.barStartDelay }
                                SequentialAnimation {
                                    loops: Animation.Infinite
                                    NumberAnimation {
                                        target: bar; property: "height"
                                        from: window.barRestingHeight; to: bar.fullHeight
                                        duration: window.barHalfPeriods[bar.index]
                                        easing.type: Easing.InOutQuad
                                    }
                                    NumberAnimation {
                                        target: bar; property: "height"
                                        from: bar.fullHeight; to: window.barRestingHeight
                                        duration: window.barHalfPeriods[bar.index]
                                        easing.type: Easing.InOutQuad
                                    }
                                }
                            }
                        }
                    }
                }

                Row {
                    visible: window.bubble.contentName === "processing"
                    spacing: 6
                    anchors.verticalCenter: parent.verticalCenter
                    BusyIndicator {
                        width: 12; height: 12
                        running: parent.visible && window.visible
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Label {
                        text: window.bubble.text
                        font.pointSize: window.smallTextSize
                        font.weight: Font.Medium
                        color: window.secondary
                    }
                }
                Row {
                    visible: window.bubble.contentName === "done"
                             || window.bubble.contentName === "copied"
                    spacing: 4
                    anchors.verticalCenter: parent.verticalCenter
                    IconImage {
                        name: window.bubble.contentName === "copied" ? "edit-copy-symbolic"
                                                                      : "emblem-ok-symbolic"
                        color: window.green
                        sourceSize: Qt.size(window.symbolSize, window.symbolSize)
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    Label {
                        text: window.bubble.text
                        font.pointSize: window.smallTextSize
                        font.weight: Font.Medium
                        color: window.secondary
                    }
                }
                Label {
                    visible: window.bubble.contentName === "listening"
                    anchors.verticalCenter: parent.verticalCenter
                    text: window.bubble.text
                    font.pointSize: window.smallTextSize
                    font.weight: Font.Medium
                    color: window.secondary
                }
                Label {
                    visible: window.bubble.contentName === "interim"
                             || window.bubble.contentName === "buffer"
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, window.bubble.maxTextWidth)
                    horizontalAlignment: Text.AlignRight
                    text: window.bubble.text
                    font: window.bubble.textFont
                    color: window.bubble.contentName === "buffer" ? window.secondary
                                                                           : window.primary
                    Accessible.name: text
                }
            }
        }
    }
}
