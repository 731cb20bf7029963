import QtQuick
import QtQuick.Layouts
import Orvinta.Ui

// Start/stop, the counts and the language pair.
ColumnLayout {
    id: footer

    required property OverlayColors colors
    required property OverlayViewModel viewModel

    readonly property real dividerAlpha: 0.15
    readonly property int horizontalPadding: 12
    readonly property int verticalPadding: 6
    readonly property int recordIconSize: 14
    readonly property real startAlpha: 0.8
    readonly property real countsFontSize: UiTheme.smallTextSize
    readonly property int arrowSize: 7

    spacing: 0

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: footer.colors.fill(footer.dividerAlpha)
    }

    RowLayout {
        Layout.fillWidth: true
        Layout.leftMargin: footer.horizontalPadding
        Layout.rightMargin: footer.horizontalPadding
        Layout.topMargin: footer.verticalPadding
        Layout.bottomMargin: footer.verticalPadding
        spacing: 6

        OverlayIconButton {
            objectName: "recordButton"
            iconName: footer.viewModel.state.listening.isListening ? "media-playback-stop-symbolic"
                                                   : "media-playback-start-symbolic"
            iconColor: footer.viewModel.state.listening.isListening
                       ? footer.colors.red
                       : Qt.rgba(footer.colors.green.r, footer.colors.green.g, footer.colors.green.b, footer.startAlpha)
            iconSize: footer.recordIconSize
            enabled: footer.viewModel.canToggleListening
            focusColor: footer.colors.accent
            Accessible.name: footer.viewModel.state.listening.isListening ? "Stop recording" : "Start recording"
            onClicked: footer.viewModel.toggleListening()
        }
        Text {
            visible: footer.viewModel.showIdle
            objectName: "idleText"
            text: "Idle"
            font.pointSize: footer.countsFontSize
            font.weight: Font.Medium
            font.family: "monospace"
            color: footer.colors.quaternary
        }
        Text {
            visible: footer.viewModel.state.transcript.lineCount > 0
            text: "·"
            font.pointSize: footer.countsFontSize
            color: footer.colors.quaternary
        }
        Text {
            objectName: "countsText"
            visible: footer.viewModel.state.transcript.lineCount > 0
            text: footer.viewModel.countsText
            font.pointSize: footer.countsFontSize
            font.weight: Font.Medium
            color: footer.colors.quaternary
            Accessible.name: text
        }
        Item {
            Layout.fillWidth: true
        }
        Row {
            visible: footer.viewModel.shouldShowTranslation
            spacing: 3
            Accessible.name: footer.viewModel.sourceLabel + " to " + footer.viewModel.targetLabel

            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: footer.viewModel.sourceLabel
                font.pointSize: footer.countsFontSize
                font.weight: Font.Medium
                color: footer.colors.tertiary
            }
            OverlayIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "go-next-symbolic"
                color: footer.colors.tertiary
                size: footer.arrowSize
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: footer.viewModel.targetLabel
                font.pointSize: footer.countsFontSize
                font.weight: Font.Medium
                color: footer.colors.tertiary
            }
        }
    }
}
