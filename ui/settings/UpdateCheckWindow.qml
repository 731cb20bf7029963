import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Updates

// The answer to "Check for Updates...": checking, up to date, a newer
// version with its notes and the download button, or what went wrong.
ApplicationWindow {
    id: window

    required property UpdaterManager updater

    readonly property int contentWidth: 420
    readonly property int idleHeight: 150
    readonly property int notesHeight: 360
    readonly property int edgePadding: 16
    readonly property bool available: updater.availableVersion !== ""
                                      && updater.downloadUrl.toString() !== ""
    readonly property bool checking: !updater.canCheckForUpdates

    title: "Software Update"
    width: contentWidth
    height: available && updater.releaseNotesHtml !== "" ? notesHeight : idleHeight
    minimumWidth: contentWidth
    visible: false

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: window.edgePadding
        spacing: 10

        RowLayout {
            spacing: 8
            BusyIndicator {
                visible: window.checking
                running: visible
                Layout.preferredWidth: 24
                Layout.preferredHeight: 24
            }
            Label {
                objectName: "updateMessage"
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                font.bold: true
                // The message may quote the server: as written, never as markup
                // (an image in it would be fetched, a link drawn).
                textFormat: Text.PlainText
                text: window.checking ? "Checking for updates…" : window.updater.message
                Accessible.name: text
            }
        }
        ScrollView {
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: !window.checking && window.available && window.updater.releaseNotesHtml !== ""
            contentWidth: availableWidth
            clip: true
            Text {
                width: parent.width
                textFormat: Text.RichText
                wrapMode: Text.Wrap
                text: window.updater.releaseNotesHtml
                color: palette.windowText
                Accessible.name: "Release notes"
            }
        }
        Item { Layout.fillHeight: true; visible: !(window.available && window.updater.releaseNotesHtml !== "") }
        RowLayout {
            Layout.alignment: Qt.AlignRight
            Button {
                visible: !window.checking && window.available
                text: "Download"
                highlighted: true
                onClicked: {
                    Qt.openUrlExternally(window.updater.downloadUrl)
                    window.close()
                }
                Accessible.name: text
            }
            Button {
                text: window.checking ? "Cancel" : "OK"
                onClicked: window.close()
                Accessible.name: text
            }
        }
    }
}
