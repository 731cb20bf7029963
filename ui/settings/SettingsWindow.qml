import QtQuick
import QtQuick.Controls
import Orvinta.Ui

// The settings window. Closing it only hides it; the controller shows the
// same window again.
ApplicationWindow {
    id: window

    required property SettingsViewModel vm

    readonly property int contentWidth: 540
    readonly property int contentHeight: 400
    readonly property int minimumContentWidth: 480
    readonly property int minimumContentHeight: 320

    title: "Orvinta Settings"
    width: contentWidth
    height: contentHeight
    minimumWidth: minimumContentWidth
    minimumHeight: minimumContentHeight
    visible: false

    SettingsView {
        objectName: "settingsView"
        anchors.fill: parent
        focus: true
        vm: window.vm
    }
}
