import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// The search field. The overlay takes the keyboard focus only while it is
// used; / or Ctrl+F in the list lead here.
Item {
    id: bar

    required property OverlayColors colors
    required property OverlayViewModel viewModel
    required property OverlayWindowController controller

    readonly property real fontSize: UiTheme.textSize
    readonly property int iconSize: 11
    readonly property int clearIconSize: 10
    readonly property int innerHorizontalPadding: 10
    readonly property int innerVerticalPadding: 0
    readonly property int minimumTarget: 24
    readonly property int outerHorizontalPadding: 12
    readonly property int outerTopPadding: 4
    readonly property int outerBottomPadding: 2
    readonly property int focusWidth: 2

    implicitHeight: visible ? field.implicitHeight + 2 * innerVerticalPadding + outerTopPadding + outerBottomPadding : 0

    Rectangle {
        anchors.fill: parent
        anchors.leftMargin: bar.outerHorizontalPadding
        anchors.rightMargin: bar.outerHorizontalPadding
        anchors.topMargin: bar.outerTopPadding
        anchors.bottomMargin: bar.outerBottomPadding
        radius: 6
        color: bar.colors.backdrop
        border.width: field.activeFocus ? bar.focusWidth : 0
        border.color: bar.colors.accent

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: bar.innerHorizontalPadding
            anchors.rightMargin: bar.innerHorizontalPadding
            spacing: 6

            OverlayIcon {
                name: "edit-find-symbolic"
                color: bar.colors.tertiary
                size: bar.iconSize
            }
            TextField {
                id: field
                objectName: "searchField"
                Layout.fillWidth: true
                implicitHeight: bar.minimumTarget
                verticalAlignment: TextInput.AlignVCenter
                placeholderText: "Search transcripts..."
                placeholderTextColor: bar.colors.tertiary
                color: bar.colors.primary
                font.pointSize: bar.fontSize
                text: bar.viewModel.searchQuery
                background: null
                leftPadding: 0
                rightPadding: 0
                topPadding: 0
                bottomPadding: 0
                selectByMouse: true
                Accessible.name: "Search transcripts"
                onPressed: bar.controller.beginSearchInput()
                onTextEdited: bar.viewModel.searchQuery = text
                Keys.onEscapePressed: {
                    field.focus = false
                    bar.controller.releaseKeyboard(true)
                }
            }
            OverlayIconButton {
                visible: bar.viewModel.searchQuery !== ""
                iconName: "edit-clear-symbolic"
                iconColor: bar.colors.tertiary
                iconSize: bar.clearIconSize
                focusColor: bar.colors.accent
                Accessible.name: "Clear search"
                onClicked: bar.viewModel.searchQuery = ""
            }
        }
    }

    Connections {
        target: bar.controller
        function onKeyboardActiveChanged() {
            if (!bar.controller.keyboardActive)
                field.focus = false
        }
    }
    Connections {
        target: bar.viewModel
        function onSearchRequested() { field.forceActiveFocus(Qt.ShortcutFocusReason) }
    }
}
