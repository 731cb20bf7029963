import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// The overlay's look and behaviour; every change shows on the overlay at once.
SettingsForm {
    id: tab

    required property SettingsViewModel vm
    readonly property OverlaySettings overlay: vm.overlay

    readonly property real opacityMinimum: 0.1
    readonly property real opacityMaximum: 1.0
    readonly property real opacityStep: 0.05
    readonly property real fontSizeMinimum: 10
    readonly property real fontSizeMaximum: 24
    readonly property real fontSizeStep: 1
    readonly property real delayMinimum: 1
    readonly property real delayMaximum: 30
    readonly property real delayStep: 1

    enabled: overlay !== null

    SettingsSection {
        title: "Overlay"
        SliderRow {
            label: "Opacity"
            from: tab.opacityMinimum
            to: tab.opacityMaximum
            stepSize: tab.opacityStep
            value: tab.overlay ? tab.overlay.opacity : tab.opacityMinimum
            valueText: tab.vm.opacityText
            onMoved: (value) => tab.overlay.opacity = value
        }
        SliderRow {
            label: "Font Size"
            from: tab.fontSizeMinimum
            to: tab.fontSizeMaximum
            stepSize: tab.fontSizeStep
            value: tab.overlay ? tab.overlay.fontSize : tab.fontSizeMinimum
            valueText: tab.vm.fontSizeText
            onMoved: (value) => tab.overlay.fontSize = value
        }
    }

    SettingsSection {
        title: "Window"
        Switch {
            text: "Always on top"
            checked: tab.overlay ? tab.overlay.pinned : false
            onToggled: tab.overlay.pinned = checked
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        Caption { text: "When enabled, the overlay floats above all other windows." }
    }

    SettingsSection {
        title: "Auto-Hide"
        Switch {
            text: "Hide overlay when idle"
            checked: tab.overlay ? tab.overlay.autoHideEnabled : false
            onToggled: tab.overlay.autoHideEnabled = checked
            Accessible.name: text
            FocusRing { shown: parent.visualFocus }
        }
        SliderRow {
            objectName: "delayRow"
            visible: tab.vm.showsAutoHideDelay
            label: "Delay"
            from: tab.delayMinimum
            to: tab.delayMaximum
            stepSize: tab.delayStep
            value: tab.overlay ? tab.overlay.autoHideDelay : tab.delayMinimum
            valueText: tab.vm.autoHideDelayText
            onMoved: (value) => tab.overlay.autoHideDelay = value
        }
    }
}
