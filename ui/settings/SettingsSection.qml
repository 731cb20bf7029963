import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// One titled group of a settings form.
ColumnLayout {
    id: section

    property string title
    default property alias content: body.data

    readonly property int bodyPadding: 10
    readonly property int bodyRadius: 6

    Layout.fillWidth: true
    spacing: 6

    Label {
        text: section.title
        font.bold: true
        Accessible.role: Accessible.Heading
        Accessible.name: section.title
    }
    Rectangle {
        Layout.fillWidth: true
        implicitHeight: body.implicitHeight + 2 * section.bodyPadding
        radius: section.bodyRadius
        color: palette.base
        border.color: palette.mid
        border.width: 1

        ColumnLayout {
            id: body
            anchors.fill: parent
            anchors.margins: section.bodyPadding
            spacing: 8
        }
    }
}
