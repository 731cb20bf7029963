import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

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
    readonly property int minimumTarget: 24

    Layout.fillWidth: true
    spacing: 8

    Label {
        Layout.preferredWidth: row.labelWidth
        text: row.label
    }
    Slider {
        id: slider
        Layout.fillWidth: true
        Layout.preferredHeight: Math.max(row.minimumTarget, implicitHeight)
        snapMode: Slider.SnapAlways
        value: row.value
        onMoved: row.moved(value)
        Accessible.name: row.label
        FocusRing { shown: slider.visualFocus }
    }
    Label {
        Layout.preferredWidth: row.valueWidth
        horizontalAlignment: Text.AlignRight
        text: row.valueText
        Accessible.name: row.label + " " + text
    }
}
