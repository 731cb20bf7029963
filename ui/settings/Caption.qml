import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// Secondary explanatory text under a control.
Label {
    Layout.fillWidth: true
    wrapMode: Text.Wrap
    font.pointSize: UiTheme.smallTextSize
    color: palette.placeholderText
    Accessible.name: text
}
