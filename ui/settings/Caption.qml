import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Secondary explanatory text under a control.
Label {
    readonly property real captionScale: 0.85
    Layout.fillWidth: true
    wrapMode: Text.Wrap
    font.pointSize: Qt.application.font.pointSize * captionScale
    color: palette.placeholderText
    Accessible.name: text
}
