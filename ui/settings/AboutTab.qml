import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.Ui

// The logo, the version, the links and what stays on the computer.
SettingsForm {
    id: tab

    required property SettingsViewModel vm

    readonly property int logoHeight: 54
    readonly property real titleScale: 1.6
    readonly property real captionScale: 0.85
    readonly property int symbolSize: 14
    readonly property int dividerWidth: 220

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 8

        IconImage {
            Layout.alignment: Qt.AlignHCenter
            source: "../panel/icons/logo.svg"
            sourceSize.height: tab.logoHeight
            fillMode: Image.PreserveAspectFit
            color: palette.windowText
            Accessible.ignored: true
        }
        Label {
            Layout.alignment: Qt.AlignHCenter
            text: "Orvinta"
            font.pointSize: UiTheme.textSize * tab.titleScale
            Accessible.name: text
        }
        Label {
            objectName: "aboutVersion"
            Layout.alignment: Qt.AlignHCenter
            text: "Version " + tab.vm.displayVersion
            font.pointSize: UiTheme.textSize * tab.captionScale
            color: palette.placeholderText
            Accessible.name: text
        }
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: tab.dividerWidth
            Layout.preferredHeight: 1
            color: palette.mid
        }
        RowLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 16
            Button {
                flat: true
                text: "Website"
                icon.name: "web-browser-symbolic"
                icon.color: palette.buttonText
                onClicked: tab.vm.openWebsite()
                Accessible.name: text
            }
            Button {
                flat: true
                text: "Contact Support"
                icon.name: "mail-send-symbolic"
                icon.color: palette.buttonText
                onClicked: tab.vm.contactSupport()
                Accessible.name: text
            }
        }
        Rectangle {
            Layout.alignment: Qt.AlignHCenter
            Layout.preferredWidth: tab.dividerWidth
            Layout.preferredHeight: 1
            color: palette.mid
        }
        Repeater {
            model: [
                { icon: "security-high-symbolic", text: "100% on-device processing" },
                { icon: "network-offline-symbolic", text: "No audio data leaves your computer" }
            ]
            delegate: IconLabel {
                required property var modelData
                Layout.alignment: Qt.AlignHCenter
                spacing: 6
                icon.name: modelData.icon
                icon.width: tab.symbolSize
                icon.height: tab.symbolSize
                icon.color: palette.placeholderText
                text: modelData.text
                color: palette.placeholderText
                font.pointSize: UiTheme.textSize * tab.captionScale
                Accessible.name: modelData.text
            }
        }
    }
}
