import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui
import Orvinta.Updates

// Automatic and manual update checks, and the running version.
SettingsForm {
    id: tab

    required property SettingsViewModel vm

    SettingsSection {
        title: "Software Update"
        Switch {
            text: "Automatically check for updates"
            enabled: tab.vm.updater !== null
            checked: enabled && tab.vm.updater.automaticallyChecksForUpdates
            onToggled: tab.vm.updater.automaticallyChecksForUpdates = checked
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        Button {
            text: "Check for Updates..."
            enabled: tab.vm.updater !== null && tab.vm.updater.canCheckForUpdates
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
