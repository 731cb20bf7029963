import QtQuick
import QtQuick.Layouts
import Orvinta.Ui

// One confirmed line: accent bar, who said it (where the run tells), text
// (with search marks), translation and time, with copy and delete buttons
// that show while hovered or selected.
// Double click copies; dragging sideways drags the text out. The selected
// line is the list's current item, which holds the keyboard focus while the
// list has it.
Rectangle {
    id: card

    required property string lineId
    required property string text
    required property string highlightedText
    required property string translation
    required property string timeText
    required property string speaker
    required property bool fromMicrophone

    required property OverlayColors colors
    required property OverlayViewModel viewModel
    required property real fontSize
    required property bool searching
    required property bool showTranslation
    required property bool animating

    signal menuRequested(string lineId, string text, string translation)

    readonly property int horizontalPadding: 10
    readonly property int verticalPadding: 8
    readonly property int rowSpacing: 8
    readonly property int accentWidth: 3
    readonly property real accentAlpha: 0.8
    readonly property int hoverDuration: 150
    readonly property real timeFontSize: UiTheme.smallTextSize
    readonly property real speakerFontSize: UiTheme.smallTextSize
    readonly property int copyIconSize: 11
    readonly property int deleteIconSize: 10
    readonly property real deleteAlpha: 0.7
    readonly property int buttonSpacing: 4

    readonly property int focusWidth: 2

    readonly property bool hovered: hover.hovered
    readonly property bool selected: viewModel.selectedLineId === lineId
    readonly property bool showCopied: viewModel.copiedLineId === lineId
    readonly property bool hasTranslation: showTranslation && translation !== ""

    implicitHeight: content.implicitHeight + 2 * verticalPadding
    height: implicitHeight
    radius: 8
    // The captions' backdrop: legible whatever the window opacity.
    color: colors.backdrop
    border.width: activeFocus ? focusWidth : 0
    border.color: colors.accent
    objectName: "lineCard"
    Accessible.role: Accessible.ListItem
    Accessible.name: speaker !== "" ? speaker + ": " + text : text
    Accessible.selectable: true
    Accessible.selected: selected
    Accessible.focusable: true

    HoverHandler {
        id: hover
    }
    TapHandler {
        acceptedButtons: Qt.RightButton
        onTapped: card.menuRequested(card.lineId, card.text, card.hasTranslation ? card.translation : "")
    }
    TapHandler {
        acceptedButtons: Qt.LeftButton
        onDoubleTapped: card.viewModel.copyLine(card.lineId, card.text)
    }
    DragHandler {
        id: dragOut
        target: null
        yAxis.enabled: false
    }
    Drag.active: dragOut.active
    Drag.dragType: Drag.Automatic
    Drag.supportedActions: Qt.CopyAction
    Drag.mimeData: { "text/plain": card.text }

    RowLayout {
        id: content
        x: card.horizontalPadding
        y: card.verticalPadding
        width: card.width - 2 * card.horizontalPadding
        spacing: card.rowSpacing

        Rectangle {
            Layout.fillHeight: true
            implicitWidth: card.accentWidth
            radius: card.accentWidth / 2
            color: Qt.rgba(card.colors.accent.r, card.colors.accent.g, card.colors.accent.b,
                           card.accentAlpha)
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 2

            Text {
                objectName: "lineSpeaker"
                Layout.fillWidth: true
                visible: card.speaker !== ""
                text: card.speaker
                textFormat: Text.PlainText
                elide: Text.ElideRight
                font.pointSize: card.speakerFontSize
                font.family: card.colors.fontFamily
                font.weight: Font.Bold
                color: card.fromMicrophone ? card.colors.microphoneSpeaker : card.colors.computerSpeaker
            }
            Text {
                objectName: "lineText"
                Layout.fillWidth: true
                text: card.searching ? card.highlightedText : card.text
                textFormat: card.searching ? Text.RichText : Text.PlainText
                wrapMode: Text.Wrap
                font.pointSize: card.fontSize
                font.family: card.colors.fontFamily
                font.weight: Font.DemiBold
                color: card.colors.primary
                style: card.colors.textStyle
                styleColor: card.colors.edge
            }
            Text {
                Layout.fillWidth: true
                visible: card.hasTranslation
                text: card.translation
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pointSize: Math.max(1, card.fontSize - 1)
                font.family: card.colors.fontFamily
                font.weight: Font.Medium
                color: card.colors.secondary
                style: card.colors.textStyle
                styleColor: card.colors.edge
                Accessible.name: text
            }
            Text {
                objectName: "lineTime"
                text: card.timeText
                font.pointSize: card.timeFontSize
                color: card.colors.tertiary
                Accessible.name: text
            }
        }

        // The keyboard copies and deletes with Ctrl+C and Delete; Tab stays on the lines.
        Row {
            Layout.alignment: Qt.AlignTop
            spacing: card.buttonSpacing
            opacity: card.hovered || card.selected ? 1 : 0

            Behavior on opacity {
                enabled: card.animating
                NumberAnimation { duration: card.hoverDuration; easing.type: Easing.OutQuad }
            }

            OverlayIconButton {
                objectName: "copyLineButton"
                focusPolicy: Qt.NoFocus
                iconName: card.showCopied ? "emblem-ok-symbolic" : "edit-copy-symbolic"
                iconColor: card.showCopied ? card.colors.green : card.colors.secondary
                iconSize: card.copyIconSize
                Accessible.name: card.showCopied ? "Copied" : "Copy line"
                onClicked: card.viewModel.copyLine(card.lineId, card.text)
            }
            OverlayIconButton {
                objectName: "deleteLineButton"
                focusPolicy: Qt.NoFocus
                iconName: "user-trash-symbolic"
                iconColor: Qt.rgba(card.colors.secondary.r, card.colors.secondary.g,
                                   card.colors.secondary.b, card.colors.secondary.a * card.deleteAlpha)
                iconSize: card.deleteIconSize
                Accessible.name: "Delete line"
                onClicked: card.viewModel.deleteLine(card.lineId)
            }
        }
    }
}
