#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQuickWindow>
#include <QRect>
#include <QString>
#include <QVariantMap>

#include <memory>

class QQmlEngine;

namespace Orvinta {

class DictationBubble;
class MenuBarViewModel;

/// The windows' symbols come from the desktop's icon theme; without one,
/// from Adwaita, which the setup installs.
void useSymbolIconTheme();

/// Lets `engine` find the module's QML types outside a window's own folder
/// (FocusRing in common/): its qmldir lies in the resources.
void addUiImportPath(QQmlEngine &engine);

/// Loads one window of the Orvinta.Ui module (`file` as listed in the
/// module, e.g. "panel/MenuBarWindow.qml") with its required properties.
/// Null, with the reason in `error`, when it does not load.
std::unique_ptr<QQuickWindow> createUiWindow(QQmlEngine &engine, const QString &file,
                                             const QVariantMap &properties, QString *error);

/// The tray panel's window.
class MenuBarPanel : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        /// A borderless pop-up at the tray icon, gone when another window is used.
        trayPopup,
        /// An ordinary small window, for desktops without a tray.
        window,
    };

    MenuBarPanel(MenuBarViewModel &model, QQmlEngine &engine, Mode mode, QObject *parent = nullptr);
    ~MenuBarPanel() override;

    bool isLoaded() const { return m_window != nullptr; }
    QString errorString() const { return m_error; }
    QQuickWindow *window() const { return m_window.get(); }
    Mode mode() const { return m_mode; }

    /// Opens the panel next to `anchor`, inside the screen that holds it.
    void showNear(const QRect &anchor);
    /// A click on the tray icon: opens the panel, or closes it when it is
    /// open. The click itself may have closed the pop-up a moment before (it
    /// went to another window); then it stays closed.
    void toggleNear(const QRect &anchor);
    /// Opens the panel where it was last (or centred), in front.
    void showWindow();

private:
    Mode m_mode;
    QElapsedTimer m_sinceHidden;
    QString m_error;
    std::unique_ptr<QQuickWindow> m_window;
};

} // namespace Orvinta
