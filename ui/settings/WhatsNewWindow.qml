import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.Ui
import Orvinta.Updates

// The release notes of the running version, shown once after an upgrade.
// The notes are Qt rich text: nothing in them can run.
ApplicationWindow {
    id: window

    required property WhatsNewModel model

    readonly property int contentWidth: 480
    readonly property int contentHeight: 420
    readonly property int symbolSize: 32
    readonly property int headerPadding: 24
    readonly property real titleScale: 1.6
    readonly property int notesHorizontalPadding: 20
    readonly property int notesVerticalPadding: 16

    title: "What's New"
    width: contentWidth
    height: contentHeight
    minimumWidth: contentWidth
    minimumHeight: contentHeight
    visible: false

    // The notes' text colour follows the colours this window is drawn in.
    Binding {
        target: window.model
        property: "darkColorScheme"
        value: window.palette.window.hslLightness < 0.5
    }

    // The close button dismisses as "Continue" does.
    onClosing: model.dismiss()

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.topMargin: window.headerPadding
            Layout.bottomMargin: window.headerPadding
            spacing: 8
            IconImage {
                Layout.alignment: Qt.AlignHCenter
                name: "starred-symbolic"
                color: palette.highlight
                sourceSize.width: window.symbolSize
                sourceSize.height: window.symbolSize
                Accessible.ignored: true
            }
            Label {
                Layout.alignment: Qt.AlignHCenter
                // The version comes from the feed: as written, never as markup.
                textFormat: Text.PlainText
                text: window.model.title
                font.bold: true
                font.pointSize: UiTheme.textSize * window.titleScale
                Accessible.name: text
            }
        }
        Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: palette.mid }

        ScrollView {
            id: notesScroll
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true
            Text {
                objectName: "notes"
                width: notesScroll.availableWidth
                textFormat: Text.RichText
                wrapMode: Text.Wrap
                leftPadding: window.notesHorizontalPadding
                rightPadding: window.notesHorizontalPadding
                topPadding: window.notesVerticalPadding
                bottomPadding: window.notesVerticalPadding
                text: window.model.html
                color: palette.windowText
                onLinkActivated: (link) => Qt.openUrlExternally(link)
                Accessible.role: Accessible.StaticText
                Accessible.name: "Release notes"
            }
        }

        Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: palette.mid }
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 12
            Item { Layout.fillWidth: true }
            Button {
                text: "Continue"
                highlighted: true
                onClicked: window.model.dismiss()
                Accessible.name: text
            }
        }
    }
}
