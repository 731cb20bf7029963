import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.Ui

// In place of the panel while the speech model is not installed.
Pane {
    id: view

    readonly property int viewWidth: 260
    readonly property int edgePadding: 20
    readonly property int symbolSize: 28
    readonly property real headlineSize: UiTheme.headlineSize
    readonly property real captionSize: UiTheme.smallTextSize
    readonly property color primary: palette.windowText
    readonly property color secondary: UiTheme.secondaryText

    required property MenuBarViewModel viewModel

    width: viewWidth
    padding: edgePadding

    contentItem: ColumnLayout {
        spacing: 10
        IconImage {
            Layout.alignment: Qt.AlignHCenter
            name: "dialog-warning-symbolic"
            color: view.primary
            sourceSize: Qt.size(view.symbolSize, view.symbolSize)
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Speech Model Required"
            font.pointSize: view.headlineSize
            font.bold: true
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            horizontalAlignment: Text.AlignHCenter
            text: "Orvinta needs an on-device speech\nmodel, which is not installed."
            font.pointSize: view.captionSize
            color: view.secondary
        }
        Button {
            Layout.alignment: Qt.AlignHCenter
            text: "Setup Guide"
            icon.name: "help-browser-symbolic"
            highlighted: true
            onClicked: view.viewModel.setupGuideRequested()
            Accessible.name: "Setup Guide"
        }
        Button {
            Layout.alignment: Qt.AlignHCenter
            flat: true
            text: "Quit"
            icon.name: "system-shutdown-symbolic"
            palette.buttonText: view.secondary
            onClicked: view.viewModel.quitRequested()
            Accessible.name: "Quit"
        }
    }
}
