import QtQuick
import QtQuick.Controls
import Orvinta.Ui

// The panel's window: a borderless pop-up next to the tray icon, or a small
// ordinary window where the desktop has no tray.
ApplicationWindow {
    id: window

    required property MenuBarViewModel viewModel
    /// Without a tray the panel is an ordinary window with a title bar.
    property bool popup: true

    title: "Orvinta"
    flags: popup ? (Qt.Tool | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint) : Qt.Window
    width: content.item ? content.item.width : 280
    height: content.item ? content.item.implicitHeight : 100
    minimumWidth: width
    maximumWidth: width
    minimumHeight: height
    maximumHeight: height
    visible: false

    onVisibleChanged: if (visible) viewModel.panelShown()
    // A pop-up goes away when the user turns to another window.
    onActiveChanged: if (popup && !active && visible) close()

    Loader {
        id: content
        sourceComponent: window.viewModel.setup.required ? setupView : panelView
    }
    Component {
        id: panelView
        MenuBarView { viewModel: window.viewModel }
    }
    Component {
        id: setupView
        SetupRequiredView { viewModel: window.viewModel }
    }
}
