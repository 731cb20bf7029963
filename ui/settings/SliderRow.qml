import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A labelled slider followed by its value.
RowLayout {
    id: row

    property string label
    property alias from: slider.from
    property alias to: slider.to
    property alias stepSize: slider.stepSize
    property real value
    property string valueText
    signal moved(real value)

    readonly property int labelWidth: 120
    readonly property int valueWidth: 40

    Layout.fillWidth: true
    spacing: 8

    Label {
        Layout.preferredWidth: row.labelWidth
        text: row.label
    }
    Slider {
        id: slider
        Layout.fillWidth: true
        snapMode: Slider.SnapAlways
        value: row.value
        onMoved: row.moved(value)
        Accessible.name: row.label
    }
    Label {
        Layout.preferredWidth: row.valueWidth
        horizontalAlignment: Text.AlignRight
        text: row.valueText
        Accessible.name: row.label + " " + text
    }
}
