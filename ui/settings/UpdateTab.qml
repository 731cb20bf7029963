import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// Automatic and manual update checks, and the running version.
SettingsForm {
    id: tab

    required property SettingsViewModel vm

    SettingsSection {
        title: "Software Update"
        Switch {
            text: "Automatically check for updates"
            checked: tab.vm.automaticallyChecksForUpdates
            onToggled: tab.vm.automaticallyChecksForUpdates = checked
            Accessible.name: text
        }
        Button {
            text: "Check for Updates..."
            enabled: tab.vm.canCheckForUpdates
            onClicked: tab.vm.checkForUpdates()
            Accessible.name: text
        }
    }

    SettingsSection {
        title: "Version"
        RowLayout {
            Label { Layout.fillWidth: true; text: "Current Version" }
            Label {
                text: tab.vm.displayVersion
                Accessible.name: "Current Version " + text
            }
        }
    }
}
