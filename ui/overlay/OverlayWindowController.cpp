#include <OrvintaUi/OverlayWindowController.h>

#include "OverlayIconProvider.h"

#include <OrvintaUi/DesktopMotion.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowPlatform.h>
#include <OrvintaUi/PanelWindows.h>
#include <OrvintaUi/UiTheme.h>

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/TranslationController.h>

#include <QGuiApplication>
#include <QPainterPath>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace Orvinta {

namespace {
const QUrl windowSource(QStringLiteral("qrc:/Orvinta/Ui/overlay/OverlayWindow.qml"));
constexpr int frameSaveDelayMs = 300;

/// The rounded rectangle as rows of rectangles, which is what the blur
/// region of the compositor takes.
QRegion roundedRegion(const QSize &size, int radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), size), radius, radius);
    return QRegion(path.toFillPolygon().toPolygon());
}
} // namespace

OverlayWindowController::OverlayWindowController(AppState &state, OverlaySettings &settings,
                                                 QQmlEngine &engine, Services services,
                                                 QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_engine(engine)
    , m_translationBackend(std::move(services.translation))
    , m_platform(services.platform ? std::move(services.platform)
                                   : std::make_unique<OverlayWindowPlatform>())
    , m_motion(services.motion)
    , m_firstRun(services.firstRun) {
    if (m_motion)
        connect(m_motion, &DesktopMotion::reducedMotionChanged, this, [this] {
            if (m_viewModel)
                m_viewModel->setReducedMotion(reducedMotion());
            Q_EMIT reducedMotionChanged();
        });
    m_frameSaveTimer.setSingleShot(true);
    m_frameSaveTimer.setInterval(frameSaveDelayMs);
    connect(&m_frameSaveTimer, &QTimer::timeout, this, &OverlayWindowController::saveFrame);
    connect(&state, &AppState::overlayVisibilityRequested, this, [this](bool visible) {
        if (visible)
            show();
        else
            hide();
    });
    // Setting up builds nothing yet: the window (and with it the view and its
    // translations) comes with the first show, which follows the set-up
    // request when the overlay is to be shown.
    connect(&state, &AppState::overlaySetupRequested, this, [this] { m_setUp = true; });
    connect(&settings, &OverlaySettings::pinnedChanged, this,
            &OverlayWindowController::applyPinned);
    connect(&state, &AppState::captionsFocusRequested, this,
            &OverlayWindowController::focusCaptions);
    connect(&settings, &OverlaySettings::placementChanged, this,
            &OverlayWindowController::applyPlacement);
}

OverlayWindowController::~OverlayWindowController() {
    // The window's bindings read the view model: the window goes first.
    delete m_window.data();
}

void OverlayWindowController::setShortcutTexts(const QString &startStop,
                                               const QString &toggleOverlay) {
    m_startStopShortcut = startStop;
    m_toggleOverlayShortcut = toggleOverlay;
    if (m_viewModel)
        m_viewModel->setShortcutTexts(startStop, toggleOverlay);
}

bool OverlayWindowController::blurBehind() const {
    return m_platform->blurAvailable();
}

bool OverlayWindowController::reducedMotion() const {
    return m_motion && m_motion->reducedMotion();
}

QRect OverlayWindowController::defaultFrame(const QRect &screen) {
    return QRect(screen.x() + (screen.width() - defaultSize.width()) / 2,
                 screen.y() + screen.height() - bottomOffset - defaultSize.height(),
                 defaultSize.width(), defaultSize.height());
}

std::optional<QRect> OverlayWindowController::dockedFrame(const QRect &screen,
                                                          OverlaySettings::Placement placement,
                                                          int height) {
    if (placement == OverlaySettings::Placement::Floating)
        return std::nullopt;
    height = std::clamp(height, smallestRestoredSize.height(),
                        std::max(smallestRestoredSize.height(), screen.height() / 2));
    const int y = placement == OverlaySettings::Placement::DockedTop
                      ? screen.y()
                      : screen.y() + screen.height() - height;
    return QRect(screen.x(), y, screen.width(), height);
}

QRect OverlayWindowController::restoredFrame(const std::optional<QRect> &saved,
                                             const QRect &primaryScreen,
                                             const QList<QRect> &screens) {
    if (!saved || saved->width() < smallestRestoredSize.width() ||
        saved->height() < smallestRestoredSize.height())
        return defaultFrame(primaryScreen);
    // The screen that holds most of the frame; a frame left on a screen that
    // is gone could never be seen or moved back.
    const QRect *home = nullptr;
    qint64 homeArea = 0;
    for (const QRect &screen : screens) {
        const QRect shared = screen.intersected(*saved);
        const qint64 area = qint64(shared.width()) * shared.height();
        if (area > homeArea) {
            home = &screen;
            homeArea = area;
        }
    }
    if (!home)
        return defaultFrame(primaryScreen);
    // No larger than the screen and wholly on it: a window the size of the
    // stored numbers would take gigabytes of buffers.
    const QSize size = saved->size().boundedTo(home->size());
    const int x = std::clamp(saved->x(), home->x(), home->x() + home->width() - size.width());
    const int y = std::clamp(saved->y(), home->y(), home->y() + home->height() - size.height());
    return QRect(QPoint(x, y), size);
}

void OverlayWindowController::show() {
    if (!m_window)
        createWindow();
    if (!m_window)
        return;
    updateBackgroundHidden(false);
    m_window->show();
    m_platform->shown(*m_window);
    applyPlacement();
    updateBlurRegion();
}

void OverlayWindowController::hide() {
    if (!m_window)
        return;
    if (m_keyboardActive)
        releaseKeyboard(true);
    if (m_frameSaveTimer.isActive()) {
        m_frameSaveTimer.stop();
        saveFrame();
    }
    m_window->hide();
}

void OverlayWindowController::updateBackgroundHidden(bool hidden) {
    if (hidden == m_backgroundHidden)
        return;
    m_backgroundHidden = hidden;
    if (m_window) {
        // A window that cannot be seen lets clicks through to what lies below,
        // and blurs nothing.
        m_window->setFlag(Qt::WindowTransparentForInput, hidden);
        updateBlurRegion();
    }
    Q_EMIT backgroundHiddenChanged();
}

void OverlayWindowController::createWindow() {
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    if (!m_engine.imageProvider(QLatin1String(OverlayIconProvider::providerId)))
        m_engine.addImageProvider(QLatin1String(OverlayIconProvider::providerId),
                                  new OverlayIconProvider);

    m_viewModel = std::make_unique<OverlayViewModel>(m_state, m_settings, UiTheme::of(m_engine),
                                                     m_translationBackend);
    m_viewModel->setShortcutTexts(m_startStopShortcut, m_toggleOverlayShortcut);
    m_viewModel->setReducedMotion(reducedMotion());
    m_viewModel->setWelcome(m_firstRun);
    connect(m_viewModel.get(), &OverlayViewModel::isAutoHiddenChanged, this,
            [this] { updateBackgroundHidden(m_viewModel->isAutoHidden()); });
    connect(m_viewModel.get(), &OverlayViewModel::keyboardReleaseRequested, this,
            [this] { releaseKeyboard(true); });

    addUiImportPath(m_engine);
    QQmlComponent component(&m_engine, windowSource);
    if (!component.isReady()) {
        qCCritical(lcOverlay, "The overlay window could not be built: %s",
                   qUtf8Printable(component.errorString()));
        m_viewModel.reset();
        return;
    }
    QObject *created = component.createWithInitialProperties(
        {{QStringLiteral("controller"), QVariant::fromValue(this)},
         {QStringLiteral("viewModel"), QVariant::fromValue(m_viewModel.get())}});
    auto *window = qobject_cast<QQuickWindow *>(created);
    if (!window) {
        qCCritical(lcOverlay, "The overlay window could not be built: %s",
                   qUtf8Printable(component.errorString()));
        delete created;
        m_viewModel.reset();
        return;
    }
    QQmlEngine::setObjectOwnership(window, QQmlEngine::CppOwnership);
    m_window = window;
    UiTheme::of(m_engine).applyTo(*window);

    QSurfaceFormat format = window->requestedFormat();
    format.setAlphaBufferSize(8);
    window->setFormat(format);
    window->setColor(Qt::transparent);
    window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                     Qt::NoDropShadowWindowHint |
                     (m_settings.pinned() ? Qt::WindowStaysOnTopHint : Qt::Widget));
    window->setProperty("_q_showWithoutActivating", true);
    window->setTitle(QStringLiteral("Orvinta Overlay"));

    QList<QRect> screens;
    for (QScreen *each : QGuiApplication::screens())
        screens.append(each->geometry());
    window->setGeometry(restoredFrame(m_settings.savedFrame(), screen->geometry(), screens));
    window->create();
    m_platform->prepare(*window);

    for (const auto signal :
         {&QWindow::xChanged, &QWindow::yChanged, &QWindow::widthChanged, &QWindow::heightChanged})
        connect(window, signal, this, [this] {
            if (m_frameReady)
                m_frameSaveTimer.start();
        });
    connect(window, &QWindow::heightChanged, this, [this] {
        if (m_settings.placement() != OverlaySettings::Placement::Floating)
            applyPlacement();
    });
    connect(window, &QWindow::widthChanged, this, &OverlayWindowController::updateBlurRegion);
    connect(window, &QWindow::heightChanged, this, &OverlayWindowController::updateBlurRegion);
    connect(window, &QWindow::activeChanged, this, [this] {
        if (m_window && !m_window->isActive() && m_keyboardActive)
            releaseKeyboard(false);
    });
    m_frameReady = true;
    Q_EMIT windowCreated();
}

void OverlayWindowController::applyPinned() {
    if (!m_window)
        return;
    m_window->setFlag(Qt::WindowStaysOnTopHint, m_settings.pinned());
    // Changing the flags may unmap a shown window on some platforms.
    if (m_state.preferences()->showOverlay() && !m_window->isVisible())
        show();
}

void OverlayWindowController::applyPlacement() {
    if (!m_window)
        return;
    QScreen *screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const std::optional<QRect> docked =
        dockedFrame(screen->geometry(), m_settings.placement(), m_window->height());
    if (docked) {
        m_docked = true;
        if (m_window->geometry() != *docked)
            m_window->setGeometry(*docked);
        m_platform->reserveStrip(*m_window, screen->geometry(), *docked);
    } else if (std::exchange(m_docked, false)) {
        m_platform->reserveStrip(*m_window, screen->geometry(), QRect());
        QList<QRect> screens;
        for (QScreen *each : QGuiApplication::screens())
            screens.append(each->geometry());
        m_window->setGeometry(restoredFrame(m_settings.savedFrame(), screen->geometry(), screens));
    }
}

void OverlayWindowController::updateBlurRegion() {
    if (!m_window || !m_platform->blurAvailable())
        return;
    m_platform->setBlurRegion(
        *m_window, m_backgroundHidden ? QRegion() : roundedRegion(m_window->size(), cornerRadius));
}

void OverlayWindowController::saveFrame() {
    // The saved frame is the floating one, to come back to.
    if (m_window && !m_docked)
        m_settings.saveFrame(m_window->geometry());
}

void OverlayWindowController::beginSearchInput() {
    if (m_window && !m_keyboardActive)
        takeKeyboard();
}

void OverlayWindowController::focusCaptions() {
    if (!m_window || !m_window->isVisible())
        return;
    if (!m_keyboardActive)
        takeKeyboard();
    m_viewModel->selectNewest();
    Q_EMIT listFocusRequested();
}

void OverlayWindowController::takeKeyboard() {
    m_platform->rememberFocus();
    m_keyboardActive = true;
    m_viewModel->setKeyboardActive(true);
    m_window->setFlag(Qt::WindowDoesNotAcceptFocus, false);
    m_window->requestActivate();
    m_platform->takeFocus(*m_window);
    Q_EMIT keyboardActiveChanged();
}

void OverlayWindowController::releaseKeyboard(bool giveFocusBack) {
    if (!m_window || !m_keyboardActive)
        return;
    m_keyboardActive = false;
    m_viewModel->setKeyboardActive(false);
    m_window->setFlag(Qt::WindowDoesNotAcceptFocus, true);
    if (giveFocusBack)
        m_platform->restoreFocus();
    Q_EMIT keyboardActiveChanged();
}

} // namespace Orvinta
