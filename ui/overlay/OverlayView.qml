import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Orvinta.Ui

// The overlay's content: drag header, search bar, the list of lines with the
// interim text at its end, and the footer. It draws the translucent
// background itself; a compositor that blurs blurs behind it.
Item {
    id: view

    required property OverlayWindowController controller
    required property OverlayViewModel viewModel

    readonly property int cornerRadius: 14
    readonly property real outlineWidth: 0.5
    readonly property real outlineAlpha: 0.08
    readonly property real dividerAlpha: 0.15
    readonly property int listSpacing: 6
    readonly property int listHorizontalPadding: 12
    readonly property int listVerticalPadding: 8
    readonly property int atBottomTolerance: 40
    readonly property int pillBottomPadding: 4
    readonly property int backdropRadius: 8
    readonly property int labelPadding: 4
    readonly property int footerInset: 4

    readonly property OverlayColors colors: OverlayColors { style: view.viewModel.style }
    readonly property bool animating: Window.visibility !== Window.Hidden
                                      && !controller.backgroundHidden
                                      && !controller.reducedMotion
    readonly property real fontSize: viewModel.settings.fontSize
    readonly property bool compact: viewModel.settings.compact

    Keys.onEscapePressed: view.controller.releaseKeyboard(true)

    Rectangle {
        id: background
        anchors.fill: parent
        radius: view.cornerRadius
        color: view.colors.window
        border.width: view.outlineWidth
        border.color: Qt.rgba(1, 1, 1, view.outlineAlpha)
    }

    // A press that nothing else takes moves the window.
    OverlayMoveArea {
        anchors.fill: parent
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        OverlayHeader {
            Layout.fillWidth: true
            colors: view.colors
            viewModel: view.viewModel
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: view.colors.fill(view.dividerAlpha)
        }

        OverlaySearchBar {
            Layout.fillWidth: true
            visible: view.viewModel.searchBarVisible && !view.compact
            colors: view.colors
            viewModel: view.viewModel
            controller: view.controller
        }

        CompactCaptions {
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: view.compact
            colors: view.colors
            viewModel: view.viewModel
        }

        Item {
            id: listArea
            Layout.fillWidth: true
            Layout.fillHeight: true
            visible: !view.compact
            clip: true

            ListView {
                id: list
                objectName: "lineList"

                readonly property bool atBottom: (originY + contentHeight + bottomMargin)
                                                 - (contentY + height) < view.atBottomTolerance

                function reportMetrics() {
                    view.viewModel.updateScrollMetrics(atBottom, Math.floor(contentHeight))
                }

                // Few lines sit at the bottom, as subtitles do.
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                height: Math.min(parent.height, contentHeight + topMargin + bottomMargin)
                topMargin: view.listVerticalPadding
                bottomMargin: view.listVerticalPadding
                spacing: view.listSpacing
                boundsBehavior: Flickable.StopAtBounds
                model: view.viewModel.lines
                // A new line is a new row for screen readers, not a renamed old one.
                reuseItems: false
                activeFocusOnTab: true
                keyNavigationEnabled: false
                currentIndex: view.viewModel.selectedRow
                Accessible.role: Accessible.List
                Accessible.name: "Transcript"
                Keys.onPressed: (event) => {
                    event.accepted = view.viewModel.handleListKey(event.key, event.modifiers)
                }
                onActiveFocusChanged: if (activeFocus) view.viewModel.listFocused()
                onCurrentItemChanged: if (currentItem) currentItem.focus = true

                header: Item {
                    width: list.width
                    height: view.viewModel.searchQuery !== "" ? resultsBackdrop.height + view.listSpacing : 0
                    Rectangle {
                        id: resultsBackdrop
                        x: view.listHorizontalPadding
                        visible: view.viewModel.searchQuery !== ""
                        width: resultsLabel.implicitWidth + 2 * view.labelPadding
                        height: resultsLabel.implicitHeight + view.labelPadding
                        radius: view.labelPadding
                        color: view.colors.backdrop
                        Text {
                            id: resultsLabel
                            anchors.centerIn: parent
                            text: view.viewModel.resultText
                            font.pointSize: UiTheme.smallTextSize
                            font.weight: Font.Medium
                            color: view.colors.tertiary
                            Accessible.name: text
                        }
                    }
                }

                delegate: ConfirmedLineCard {
                    x: view.listHorizontalPadding
                    width: list.width - 2 * view.listHorizontalPadding
                    colors: view.colors
                    viewModel: view.viewModel
                    fontSize: view.fontSize
                    searching: view.viewModel.searchQuery !== ""
                    showTranslation: view.viewModel.shouldShowTranslation
                    animating: view.animating
                    onMenuRequested: (lineId, text, translation) => lineMenu.openFor(lineId, text, translation, null)
                }

                footer: Item {
                    width: list.width
                    height: placeholderLoader.item ? placeholderLoader.item.implicitHeight + view.listSpacing + 1 : 1
                    // Whatever stands there is text on the captions' backdrop.
                    Rectangle {
                        anchors.fill: placeholderLoader
                        visible: placeholderLoader.item !== null
                        radius: view.backdropRadius
                        color: view.colors.backdrop
                    }
                    Loader {
                        id: placeholderLoader
                        x: view.listHorizontalPadding
                        y: view.listSpacing
                        width: parent.width - 2 * view.listHorizontalPadding
                        sourceComponent: {
                            switch (view.viewModel.placeholder) {
                            case OverlayViewModel.Interim: return interimComponent
                            case OverlayViewModel.Listening: return listeningComponent
                            case OverlayViewModel.Empty: return emptyComponent
                            default: return null
                            }
                        }
                    }
                }

                Component.onCompleted: positionViewAtEnd()
                onContentYChanged: reportMetrics()
                onContentHeightChanged: reportMetrics()
                onHeightChanged: reportMetrics()

                ScrollBar.vertical: ScrollBar {
                    policy: ScrollBar.AsNeeded
                }
            }

            Connections {
                target: view.viewModel
                function onScrollToBottomRequested() { Qt.callLater(list.positionViewAtEnd) }
                function onSelectionChanged() {
                    if (view.viewModel.selectedRow >= 0)
                        list.positionViewAtIndex(view.viewModel.selectedRow, ListView.Contain)
                }
                function onLineMenuRequested(lineId, text, translation) {
                    lineMenu.openFor(lineId, text, translation, list.currentItem)
                }
            }
            Connections {
                target: view.controller
                // Compact captions list no lines: the keyboard goes to the window's controls.
                function onListFocusRequested() {
                    if (list.visible)
                        list.forceActiveFocus(Qt.ShortcutFocusReason)
                    else
                        view.forceActiveFocus(Qt.ShortcutFocusReason)
                }
            }

            NewLinesPill {
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.bottom: parent.bottom
                anchors.bottomMargin: view.pillBottomPadding
                shown: view.viewModel.hasNewLines
                animated: view.animating
                onClicked: view.viewModel.jumpToNewLines()
            }

            UndoNotice {
                objectName: "undoNotice"
                anchors.left: parent.left
                anchors.leftMargin: view.listHorizontalPadding
                anchors.bottom: parent.bottom
                anchors.bottomMargin: view.pillBottomPadding
                text: view.viewModel.undoText
                focusColor: view.colors.accent
                // The line is back, and the keyboard on it.
                onClicked: {
                    view.viewModel.undoDelete()
                    if (activeFocus)
                        list.forceActiveFocus(Qt.TabFocusReason)
                }
            }
        }

        // The footer's counts and languages on the backdrop too.
        Item {
            Layout.fillWidth: true
            implicitHeight: footer.implicitHeight + view.footerInset
            visible: !view.compact
            Rectangle {
                anchors.fill: parent
                anchors.leftMargin: view.footerInset
                anchors.rightMargin: view.footerInset
                anchors.bottomMargin: view.footerInset
                radius: view.backdropRadius
                color: view.colors.backdrop
            }
            OverlayFooter {
                id: footer
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.top: parent.top
                colors: view.colors
                viewModel: view.viewModel
            }
        }
    }

    CaptionAnnouncer {
        id: announcer
        objectName: "captionAnnouncer"
        width: 1
        height: 1
        Accessible.name: text
        Connections {
            target: view.viewModel
            function onLineAnnounced(text) { announcer.announce(text) }
        }
    }

    Component {
        id: interimComponent
        InterimTextBubble {
            colors: view.colors
            text: view.viewModel.displayedInterim
            translatedText: view.viewModel.interimTranslation
            fontSize: view.fontSize
        }
    }
    Component {
        id: listeningComponent
        ListeningIndicator {
            colors: view.colors
            animating: view.animating
            reducedMotion: view.controller.reducedMotion
            text: view.viewModel.listeningText
        }
    }
    Component {
        id: emptyComponent
        EmptyStateView {
            colors: view.colors
            title: view.viewModel.emptyTitle
            shortcut: view.viewModel.startStopShortcut
        }
    }

    Menu {
        id: lineMenu

        property string lineId
        property string lineText
        property string lineTranslation

        // From the keyboard it opens below the selected line, else at the pointer.
        function openFor(id, text, translation, card) {
            lineId = id
            lineText = text
            lineTranslation = translation
            if (card)
                popup(card, 0, card.height)
            else
                popup()
        }
        // Closed from the keyboard, the line has it again.
        onClosed: if (view.controller.keyboardActive) list.forceActiveFocus(Qt.PopupFocusReason)

        MenuItem {
            objectName: "menuCopy"
            text: "Copy"
            Accessible.name: text
            onTriggered: view.viewModel.copyText(lineMenu.lineText)
        }
        MenuItem {
            objectName: "menuCopyTranslation"
            text: "Copy Translation"
            Accessible.name: text
            visible: lineMenu.lineTranslation !== ""
            height: visible ? implicitHeight : 0
            onTriggered: view.viewModel.copyText(lineMenu.lineTranslation)
        }
        MenuSeparator {}
        MenuItem {
            objectName: "menuDelete"
            text: "Delete"
            Accessible.name: text
            palette.windowText: UiTheme.danger
            palette.text: UiTheme.danger
            onTriggered: view.viewModel.deleteLine(lineMenu.lineId)
        }
    }
}
