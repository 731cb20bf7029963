#pragma once

#include <OrvintaUi/SettingsViewModel.h>

#include <QObject>
#include <QQuickWindow>

#include <memory>

class QQmlEngine;

namespace Orvinta {

/// The one settings window: made on the first show(), kept for the run;
/// closing it only hides it, and every later show() brings the same window
/// to the front with the keyboard focus, also when another program is active.
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    SettingsWindowController(QQmlEngine &engine, AppState &state, OverlaySettings *overlay,
                             UpdaterManager *updater, SettingsServices services,
                             QObject *parent = nullptr);
    ~SettingsWindowController() override;

    /// False when the window cannot be loaded (logged with the reason).
    bool show();
    /// The window; null before the first show().
    QQuickWindow *window() const { return m_window.get(); }
    SettingsViewModel &viewModel() { return *m_viewModel; }

private:
    QQmlEngine &m_engine;
    std::unique_ptr<SettingsViewModel> m_viewModel;
    std::unique_ptr<QQuickWindow> m_window;
};

} // namespace Orvinta
