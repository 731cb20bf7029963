import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Stands in for the settings window until it exists.
ApplicationWindow {
    id: window

    readonly property int windowWidth: 360
    readonly property int edgePadding: 20

    title: "Orvinta Settings"
    width: windowWidth
    height: column.implicitHeight + 2 * edgePadding
    visible: false

    ColumnLayout {
        id: column
        anchors.fill: parent
        anchors.margins: window.edgePadding
        spacing: 12
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            text: "The settings window comes with a later version of Orvinta. Until then, "
                  + "the panel holds every switch."
        }
        Button {
            Layout.alignment: Qt.AlignRight
            text: "Close"
            onClicked: window.close()
            Accessible.name: "Close"
        }
    }
}
