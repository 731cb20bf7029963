import QtQuick
import QtQuick.Controls
import QtQuick.Controls.impl
import QtQuick.Layouts
import Orvinta.Ui

// What works on this desktop, one line per feature, and how to fix what
// does not.
SettingsForm {
    id: tab

    required property SettingsViewModel vm

    readonly property int featureWidth: 120
    readonly property int symbolSize: 16
    readonly property int columnSpacing: 8
    readonly property color worksColor: UiTheme.success
    readonly property color warningColor: UiTheme.warning
    readonly property real codeScale: 0.85

    SettingsSection {
        title: "On This Desktop"
        Repeater {
            model: tab.vm.capabilities
            // A working feature: its name, "works" and how, in two columns; one
            // that does not: its name, then why and the fix across the width.
            delegate: ColumnLayout {
                id: row
                required property string feature
                required property bool available
                required property string backend
                required property string status
                objectName: "capabilityRow"
                Layout.fillWidth: true
                spacing: 2
                Accessible.role: Accessible.StaticText
                Accessible.name: feature + ": " + status

                RowLayout {
                    Layout.fillWidth: true
                    spacing: tab.columnSpacing
                    IconImage {
                        Layout.alignment: Qt.AlignTop
                        name: row.available ? "object-select-symbolic" : "dialog-warning-symbolic"
                        color: row.available ? tab.worksColor : tab.warningColor
                        sourceSize.width: tab.symbolSize
                        sourceSize.height: tab.symbolSize
                        Accessible.ignored: true
                    }
                    Label {
                        Layout.preferredWidth: tab.featureWidth
                        Layout.alignment: Qt.AlignTop
                        text: row.feature
                        wrapMode: Text.Wrap
                    }
                    ColumnLayout {
                        Layout.fillWidth: true
                        visible: row.available
                        spacing: 2
                        Label { text: row.status }
                        Caption { text: row.backend }
                    }
                }
                Label {
                    Layout.fillWidth: true
                    Layout.leftMargin: tab.symbolSize + tab.columnSpacing
                    visible: !row.available
                    text: row.status
                    wrapMode: Text.Wrap
                }
            }
        }
    }
    SettingsSection {
        objectName: "setupLines"
        title: "Keys Through Your Desktop"
        visible: tab.vm.capabilities.setupText !== ""
        Caption { text: tab.vm.capabilities.setupInstructions }
        // Lines as they are pasted: one per line, scrolled sideways where long.
        ScrollView {
            Layout.fillWidth: true
            contentWidth: setupLines.implicitWidth
            ScrollBar.vertical.policy: ScrollBar.AlwaysOff
            TextEdit {
                id: setupLines
                text: tab.vm.capabilities.setupText
                readOnly: true
                selectByMouse: true
                font.family: "monospace"
                font.pointSize: UiTheme.textSize * tab.codeScale
                color: palette.text
                selectionColor: palette.highlight
                selectedTextColor: palette.highlightedText
                Accessible.role: Accessible.EditableText
                Accessible.name: "Key bindings"
            }
        }
        Button {
            objectName: "copySetupLines"
            text: "Copy"
            Accessible.name: "Copy the key bindings"
            onClicked: tab.vm.copySetupLines()
        }
    }
    Caption { text: "Checked when Orvinta started; start it again after a fix." }
}
