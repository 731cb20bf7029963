import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// A sidebar of the tabs and the selected tab's content (the view model's
// currentTab, General at first). The sidebar has the keyboard first: Up and
// Down switch pages, Tab goes on into the page, Ctrl+Tab comes back from
// anywhere, and Escape closes the window.
FocusScope {
    id: view

    required property SettingsViewModel vm

    readonly property int sidebarWidth: 160
    readonly property int sidebarRowHeight: 32
    readonly property int contentPadding: 20

    Keys.onEscapePressed: Window.window.close()
    Shortcut {
        sequences: ["Ctrl+Tab", "Ctrl+Shift+Tab"]
        onActivated: sidebar.forceActiveFocus(Qt.TabFocusReason)
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            Layout.preferredWidth: view.sidebarWidth
            Layout.fillHeight: true
            color: palette.base

            ListView {
                id: sidebar
                objectName: "settingsSidebar"
                anchors.fill: parent
                anchors.topMargin: 8
                model: view.vm.tabs
                interactive: false
                focus: true
                activeFocusOnTab: true
                keyNavigationEnabled: false
                currentIndex: view.vm.currentTabIndex
                Keys.onUpPressed: view.vm.moveTab(-1)
                Keys.onDownPressed: view.vm.moveTab(1)
                // A list of its sections, the shown one selected (Qt 6.4 keeps an item
                // delegate a list item whatever role it is given).
                Accessible.role: Accessible.List
                Accessible.name: "Settings sections"
                delegate: ItemDelegate {
                    required property var modelData
                    width: sidebar.width
                    height: view.sidebarRowHeight
                    // The list is the one stop for Tab; the arrows choose the row.
                    focusPolicy: Qt.NoFocus
                    text: modelData.title
                    icon.name: modelData.icon
                    icon.width: 16
                    icon.height: 16
                    icon.color: highlighted ? palette.highlightedText : palette.windowText
                    highlighted: view.vm.currentTab === modelData.id
                    onClicked: view.vm.currentTab = modelData.id
                    Accessible.name: modelData.title
                    Accessible.selected: highlighted
                    // Inside the highlighted row, in the row's text colour: the highlight's own
                    // colour would not show on it.
                    FocusRing {
                        anchors.margins: 3
                        shown: parent.highlighted && sidebar.activeFocus
                        ringColor: palette.highlightedText
                    }
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
            AppearanceTab { objectName: "appearancePage"; vm: view.vm; formPadding: view.contentPadding }
            UpdateTab { objectName: "updatePage"; vm: view.vm; formPadding: view.contentPadding }
            CapabilitiesTab {
                objectName: "capabilitiesPage"
                vm: view.vm
                formPadding: view.contentPadding
            }
            AboutTab { objectName: "aboutPage"; vm: view.vm; formPadding: view.contentPadding }
        }
    }
}
