import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// The overlay's look and behaviour; every change shows on the overlay at once.
SettingsForm {
    id: tab

    required property SettingsViewModel vm
    readonly property OverlaySettings overlay: vm.overlay
    readonly property CaptionStyle captionStyle: vm.captionStyle

    readonly property real opacityMinimum: 0.1
    readonly property real opacityMaximum: 1.0
    readonly property real opacityStep: 0.05
    readonly property real fontSizeMinimum: 10
    readonly property real fontSizeMaximum: 64
    readonly property real fontSizeStep: 1
    readonly property real delayMinimum: 1
    readonly property real delayMaximum: 30
    readonly property real delayStep: 1
    readonly property int previewPadding: 8
    readonly property int previewRadius: 8
    readonly property real previewMaximumSize: 24

    enabled: overlay !== null

    SettingsSection {
        title: "Captions"
        ChoiceRow {
            objectName: "captionPresetRow"
            label: "Style"
            model: tab.vm.presetChoices
            currentIndex: tab.vm.presetIndex
            onActivated: (index) => tab.vm.choosePreset(index)
        }
        ChoiceRow {
            label: "Text Colour"
            model: tab.vm.colorChoices
            currentIndex: tab.vm.textColorIndex
            onActivated: (index) => tab.vm.chooseTextColor(index)
        }
        ChoiceRow {
            label: "Background"
            model: tab.vm.colorChoices
            currentIndex: tab.vm.backgroundColorIndex
            onActivated: (index) => tab.vm.chooseBackgroundColor(index)
        }
        SliderRow {
            objectName: "backgroundOpacityRow"
            label: "Background Opacity"
            // Never below what keeps the captions legible over any desktop.
            from: tab.captionStyle ? tab.captionStyle.leastBackgroundOpacity : tab.opacityMaximum
            to: tab.opacityMaximum
            stepSize: 0
            value: tab.captionStyle ? tab.captionStyle.backgroundOpacity : tab.opacityMaximum
            valueText: tab.vm.backgroundOpacityText
            onMoved: (value) => tab.overlay.backgroundOpacity = value
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
        ChoiceRow {
            label: "Font"
            textRole: ""
            model: tab.vm.fontFamilies
            currentIndex: tab.vm.fontFamilyIndex
            onActivated: (index) => tab.vm.chooseFontFamily(index)
        }
        ChoiceRow {
            label: "Edges"
            model: tab.vm.edgeChoices
            currentIndex: tab.overlay ? tab.overlay.edgeStyle : 0
            onActivated: (index) => tab.overlay.edgeStyle = tab.vm.edgeChoices[index].value
        }
        Rectangle {
            objectName: "captionPreview"
            Layout.fillWidth: true
            implicitHeight: preview.implicitHeight + 2 * tab.previewPadding
            radius: tab.previewRadius
            color: tab.captionStyle ? tab.captionStyle.backdrop : "transparent"
            Text {
                id: preview
                anchors.fill: parent
                anchors.margins: tab.previewPadding
                text: "Captions look like this"
                wrapMode: Text.Wrap
                font.pointSize: tab.overlay ? Math.min(tab.overlay.fontSize, tab.previewMaximumSize)
                                            : tab.fontSizeMinimum
                font.family: tab.captionStyle ? tab.captionStyle.fontFamily : ""
                font.weight: Font.DemiBold
                color: tab.captionStyle ? tab.captionStyle.text : palette.windowText
                style: tab.captionStyle ? tab.captionStyle.textStyle : Text.Normal
                styleColor: tab.captionStyle ? tab.captionStyle.edge : "transparent"
            }
        }
        Switch {
            text: "Compact captions"
            checked: tab.overlay ? tab.overlay.compact : false
            onToggled: tab.overlay.compact = checked
            Accessible.name: text
        }
        Caption { text: "Two or three lines, no cards or times, for following a talk." }
    }

    SettingsSection {
        title: "Overlay"
        SliderRow {
            label: "Window Opacity"
            from: tab.opacityMinimum
            to: tab.opacityMaximum
            stepSize: tab.opacityStep
            value: tab.overlay ? tab.overlay.opacity : tab.opacityMinimum
            valueText: tab.vm.opacityText
            onMoved: (value) => tab.overlay.opacity = value
        }
        Caption { text: "Fades the window around the captions; the captions keep their background." }
        ChoiceRow {
            objectName: "placementRow"
            label: "Position"
            model: tab.vm.placementChoices
            currentIndex: tab.overlay ? tab.overlay.placement : 0
            onActivated: (index) => tab.overlay.placement = tab.vm.placementChoices[index].value
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
