#include <OrvintaUi/PanelWindows.h>

#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/TrayIcon.h>
#include <OrvintaUi/UiTheme.h>

#include <QGuiApplication>
#include <QIcon>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QScreen>

namespace Orvinta {

void useSymbolIconTheme() {
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

void addUiImportPath(QQmlEngine &engine) {
    if (!engine.importPathList().contains(QStringLiteral("qrc:/")))
        engine.addImportPath(QStringLiteral("qrc:/"));
}

std::unique_ptr<QQuickWindow> createUiWindow(QQmlEngine &engine, const QString &file,
                                             const QVariantMap &properties, QString *error) {
    addUiImportPath(engine);
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Orvinta/Ui/") + file));
    // Creating from a component that did not load crashes Qt 6.4.
    if (!component.isReady()) {
        if (error)
            *error = component.errorString();
        return nullptr;
    }
    std::unique_ptr<QObject> object(component.createWithInitialProperties(properties));
    auto *window = qobject_cast<QQuickWindow *>(object.get());
    if (!window) {
        if (error)
            *error = component.isError() ? component.errorString()
                                         : file + QStringLiteral(" is not a window");
        return nullptr;
    }
    object.release();
    // C++ owns the window; QML must not collect it.
    QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
    UiTheme::of(engine).applyTo(*window);
    return std::unique_ptr<QQuickWindow>(window);
}

MenuBarPanel::MenuBarPanel(MenuBarViewModel &model, QQmlEngine &engine, Mode mode, QObject *parent)
    : QObject(parent)
    , m_mode(mode) {
    m_window = createUiWindow(engine, QStringLiteral("panel/MenuBarWindow.qml"),
                              {{QStringLiteral("viewModel"), QVariant::fromValue(&model)},
                               {QStringLiteral("popup"), mode == Mode::trayPopup}},
                              &m_error);
    if (m_window)
        connect(m_window.get(), &QWindow::visibleChanged, this, [this](bool visible) {
            if (!visible)
                m_sinceHidden.start();
        });
}

MenuBarPanel::~MenuBarPanel() = default;

void MenuBarPanel::showNear(const QRect &anchor) {
    if (!m_window)
        return;
    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen)
        m_window->setPosition(panelPosition(anchor, m_window->size(), screen->availableGeometry()));
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

void MenuBarPanel::toggleNear(const QRect &anchor) {
    if (!m_window)
        return;
    constexpr qint64 sameClick = 300;
    if (m_window->isVisible())
        m_window->close();
    else if (!m_sinceHidden.isValid() || m_sinceHidden.elapsed() > sameClick)
        showNear(anchor);
}

void MenuBarPanel::showWindow() {
    if (!m_window)
        return;
    if (!m_window->isVisible() && m_window->position() == QPoint(0, 0))
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            m_window->setPosition(area.center() -
                                  QPoint(m_window->width() / 2, m_window->height() / 2));
        }
    m_window->show();
    m_window->raise();
    m_window->requestActivate();
}

} // namespace Orvinta
