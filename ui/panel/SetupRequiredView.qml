import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.Ui

// In place of the panel while the speech model is not installed: what to
// install, the command to copy, and the guide.
Pane {
    id: view

    readonly property int viewWidth: 280
    readonly property int edgePadding: 20
    readonly property int symbolSize: 28
    readonly property real headlineSize: UiTheme.headlineSize
    readonly property real captionSize: UiTheme.smallTextSize
    readonly property color primary: palette.windowText
    readonly property color secondary: UiTheme.secondaryText

    required property MenuBarViewModel viewModel

    width: viewWidth
    padding: edgePadding
    focus: true
    Keys.onEscapePressed: Window.window.close()

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
        Label {
            objectName: "setupPackage"
            Layout.alignment: Qt.AlignHCenter
            text: "Install the package " + view.viewModel.setup.packageName + ":"
            font.pointSize: view.captionSize
            color: view.secondary
        }
        TextField {
            objectName: "setupCommand"
            Layout.fillWidth: true
            text: view.viewModel.setup.installCommand
            readOnly: true
            selectByMouse: true
            cursorPosition: 0
            horizontalAlignment: TextInput.AlignHCenter
            font.family: "monospace"
            font.pointSize: view.captionSize
            Accessible.name: "Install command"
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 6
            Button {
                objectName: "copySetupCommandButton"
                text: view.viewModel.setup.copied ? "Copied" : "Copy Command"
                icon.name: view.viewModel.setup.copied ? "object-select-symbolic" : "edit-copy-symbolic"
                onClicked: view.viewModel.setup.copyCommand()
                Accessible.name: "Copy install command"
            }
            Button {
                text: "Setup Guide"
                icon.name: "help-browser-symbolic"
                highlighted: true
                onClicked: view.viewModel.setupGuideRequested()
                Accessible.name: "Setup Guide"
            }
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
