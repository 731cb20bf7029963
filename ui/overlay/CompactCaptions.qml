import QtQuick
import QtQuick.Layouts
import Orvinta.Ui

// Compact mode, for following a talk: the newest words as two or three
// centred lines on one backdrop at the bottom, as wide as they are, the
// interim text as the last line; no cards, no times.
Item {
    id: compact

    required property OverlayColors colors
    required property OverlayViewModel viewModel

    readonly property int horizontalPadding: 12
    readonly property int verticalPadding: 8
    readonly property int outerPadding: 8
    readonly property int backdropRadius: 8
    readonly property real fontSize: viewModel.settings.fontSize

    Rectangle {
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: compact.outerPadding
        width: Math.min(parent.width - 2 * compact.outerPadding,
                        Math.ceil(Math.max(confirmedWidth.implicitWidth, interimWidth.implicitWidth))
                        + 2 * compact.horizontalPadding + 1)
        height: Math.min(parent.height - 2 * compact.outerPadding,
                         lines.implicitHeight + 2 * compact.verticalPadding)
        visible: lines.hasText
        radius: compact.backdropRadius
        color: compact.colors.backdrop
        clip: true

        ColumnLayout {
            id: lines
            readonly property bool hasText: confirmed.text !== "" || interim.text !== ""
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.leftMargin: compact.horizontalPadding
            anchors.rightMargin: compact.horizontalPadding
            anchors.bottomMargin: compact.verticalPadding
            spacing: 0

            Text {
                id: confirmed
                objectName: "compactText"
                Layout.fillWidth: true
                visible: text !== ""
                text: compact.viewModel.compactText
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                font.pointSize: compact.fontSize
                font.family: compact.colors.fontFamily
                font.weight: Font.DemiBold
                color: compact.colors.primary
                style: compact.colors.textStyle
                styleColor: compact.colors.edge
                Accessible.name: text
            }
            Text {
                id: interim
                objectName: "compactInterim"
                Layout.fillWidth: true
                visible: text !== ""
                text: compact.viewModel.compactInterim
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignHCenter
                font.pointSize: compact.fontSize
                font.family: compact.colors.fontFamily
                color: compact.colors.interim
                style: compact.colors.textStyle
                styleColor: compact.colors.edge
                Accessible.name: text
            }
        }
    }

    // The lines' own widths: a wrapping text reports the width it was given.
    Text {
        id: confirmedWidth
        visible: false
        text: confirmed.text
        textFormat: Text.PlainText
        font: confirmed.font
    }
    Text {
        id: interimWidth
        visible: false
        text: interim.text
        textFormat: Text.PlainText
        font: interim.font
    }
}
