#include <OrvintaUi/SettingsWindowController.h>

#include "WindowActivation.h"

#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/UiTheme.h>

#include <QLoggingCategory>

#include <QGuiApplication>
#include <QQmlEngine>
#include <QScreen>

namespace Orvinta {

Q_LOGGING_CATEGORY(lcSettings, "com.orvinta.Settings")

namespace {

void centreOnScreen(QQuickWindow &window) {
    QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    window.setPosition(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

SettingsServices withTheme(SettingsServices services, QQmlEngine &engine) {
    services.theme = &UiTheme::of(engine);
    return services;
}

} // namespace

SettingsWindowController::SettingsWindowController(QQmlEngine &engine, AppState &state,
                                                   OverlaySettings *overlay,
                                                   UpdaterManager *updater,
                                                   SettingsServices services, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_viewModel(std::make_unique<SettingsViewModel>(state, overlay, updater,
                                                      withTheme(std::move(services), engine))) {}

SettingsWindowController::~SettingsWindowController() {
    // The window's bindings read the view model; its last hiding is not a
    // user's and must not reach recorders that may be gone.
    if (m_window)
        m_window->disconnect(m_viewModel.get());
    m_window.reset();
}

bool SettingsWindowController::show() {
    if (!m_window) {
        QString error;
        m_window = createUiWindow(m_engine, QStringLiteral("settings/SettingsWindow.qml"),
                                  {{QStringLiteral("vm"), QVariant::fromValue(m_viewModel.get())}},
                                  &error);
        if (!m_window) {
            qCWarning(lcSettings, "The settings window cannot be loaded: %s",
                      qUtf8Printable(error));
            return false;
        }
        centreOnScreen(*m_window);
        // A recording must not outlive the window: hidden, it ends and the
        // global shortcuts resume. (Losing the focus does not end it: on some
        // desktops pressing Super alone moves the focus for a moment.)
        connect(m_window.get(), &QWindow::visibleChanged, m_viewModel.get(), [this](bool visible) {
            if (!visible)
                m_viewModel->cancelRecordings();
        });
    }
    m_viewModel->refreshTrust();
    // Closing only hid it; the same window comes back, in front and with the
    // focus even when another program is active (on X11 the window manager
    // is asked to activate it; without one Qt sets the input focus itself).
    m_window->show();
    activateWindow(*m_window);
    return true;
}

} // namespace Orvinta
