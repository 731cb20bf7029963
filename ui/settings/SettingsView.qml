import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// A sidebar of the tabs and the selected tab's content (the view model's
// currentTab, General at first).
Item {
    id: view

    required property SettingsViewModel vm

    readonly property int sidebarWidth: 160
    readonly property int sidebarRowHeight: 32
    readonly property int contentPadding: 20

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.preferredWidth: view.sidebarWidth
            Layout.fillHeight: true
            color: palette.base

            ListView {
                id: sidebar
                anchors.fill: parent
                anchors.topMargin: 8
                model: view.vm.tabs
                interactive: false
                Accessible.role: Accessible.PageTabList
                Accessible.name: "Settings sections"
                delegate: ItemDelegate {
                    required property var modelData
                    width: sidebar.width
                    height: view.sidebarRowHeight
                    text: modelData.title
                    icon.name: modelData.icon
                    icon.width: 16
                    icon.height: 16
                    icon.color: highlighted ? palette.highlightedText : palette.windowText
                    highlighted: view.vm.currentTab === modelData.id
                    onClicked: view.vm.currentTab = modelData.id
                    Accessible.role: Accessible.PageTab
                    Accessible.name: modelData.title
                }
            }
        }

        Rectangle {
            Layout.preferredWidth: 1
            Layout.fillHeight: true
            color: palette.mid
        }

        StackLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            // In the order of the view model's tabs.
            currentIndex: view.vm.currentTabIndex

            GeneralTab { objectName: "generalPage"; vm: view.vm; formPadding: view.contentPadding }
            AppearanceTab { vm: view.vm; formPadding: view.contentPadding }
            UpdateTab { vm: view.vm; formPadding: view.contentPadding }
            CapabilitiesTab {
                objectName: "capabilitiesPage"
                vm: view.vm
                formPadding: view.contentPadding
            }
            AboutTab { vm: view.vm; formPadding: view.contentPadding }
        }
    }
}
