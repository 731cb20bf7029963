import QtQuick
import Orvinta.Ui

// A pulsing red dot, five bouncing bars and "Listening..." (or what the run
// waits for). Still under reduced motion, and stopped whenever the overlay
// cannot be seen.
Row {
    id: indicator

    required property OverlayColors colors
    required property bool animating
    required property bool reducedMotion
    property string text: "Listening..."

    readonly property int dotSize: 6
    readonly property real ringScale: 2.5
    readonly property real ringOpacity: 0.6
    readonly property int ringDuration: 1500
    readonly property int barWidth: 3
    readonly property int barSpacing: 3
    readonly property int restHeight: 4
    readonly property var barHeights: [10, 16, 12, 18, 8]
    readonly property var barDurations: [500, 650, 550, 700, 450]
    readonly property int barDelayStep: 80
    readonly property real barAlpha: 0.6
    readonly property real labelFontSize: UiTheme.textSize

    spacing: 8
    leftPadding: 10
    rightPadding: 10
    topPadding: 8
    bottomPadding: 8
    Accessible.role: Accessible.Indicator
    Accessible.name: "Listening for speech"

    Item {
        width: indicator.dotSize
        height: Math.max(indicator.dotSize, bars.height)

        Rectangle {
            id: ring
            anchors.centerIn: parent
            width: indicator.dotSize
            height: indicator.dotSize
            radius: width / 2
            color: Qt.rgba(indicator.colors.red.r, indicator.colors.red.g, indicator.colors.red.b, 0.3)
            visible: !indicator.reducedMotion
            opacity: indicator.ringOpacity

            ParallelAnimation {
                running: indicator.animating
                loops: Animation.Infinite
                onStopped: { ring.scale = 1; ring.opacity = indicator.ringOpacity }
                NumberAnimation { target: ring; property: "scale"; from: 1; to: indicator.ringScale; duration: indicator.ringDuration; easing.type: Easing.OutQuad }
                NumberAnimation { target: ring; property: "opacity"; from: indicator.ringOpacity; to: 0; duration: indicator.ringDuration; easing.type: Easing.OutQuad }
            }
        }
        Rectangle {
            anchors.centerIn: parent
            width: indicator.dotSize
            height: indicator.dotSize
            radius: width / 2
            color: indicator.colors.red
        }
    }

    Row {
        id: bars
        anchors.verticalCenter: parent.verticalCenter
        spacing: indicator.barSpacing
        height: 18

        Repeater {
            model: 5
            Rectangle {
                id: bar
                required property int index
                readonly property int fullHeight: indicator.barHeights[index]
                anchors.verticalCenter: parent.verticalCenter
                width: indicator.barWidth
                radius: width / 2
                height: indicator.animating ? indicator.restHeight : fullHeight
                color: Qt.rgba(indicator.colors.accent.r, indicator.colors.accent.g,
                               indicator.colors.accent.b, indicator.barAlpha)

                SequentialAnimation {
                    running: indicator.animating
                    loops: Animation.Infinite
                    onStopped: bar.height = Qt.binding(() => indicator.animating ? indicator.restHeight : bar.fullHeight)
                    PauseAnimation { duration: bar.index * indicator.barDelayStep }
                    SequentialAnimation {
                        loops: Animation.Infinite
                        NumberAnimation { target: bar; property: "height"; from: indicator.restHeight; to: bar.fullHeight; duration: indicator.barDurations[bar.index]; easing.type: Easing.InOutQuad }
                        NumberAnimation { target: bar; property: "height"; from: bar.fullHeight; to: indicator.restHeight; duration: indicator.barDurations[bar.index]; easing.type: Easing.InOutQuad }
                    }
                }
            }
        }
    }

    Text {
        anchors.verticalCenter: parent.verticalCenter
        text: indicator.text
        font.pointSize: indicator.labelFontSize
        font.weight: Font.Medium
        color: indicator.colors.secondary
    }
}
