#include <OrvintaUi/TrayIcon.h>

#include <OrvintaApp/AppState.h>

#include <QCursor>
#include <QGuiApplication>
#include <QIconEngine>
#include <QLoggingCategory>
#include <QPainter>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace Orvinta {

namespace {

Q_LOGGING_CATEGORY(lcTray, "com.orvinta.Tray")

// How long the icon's place is watched after it was embedded or moved.
constexpr std::chrono::milliseconds settleCheck(200);
constexpr int settleChecks = 15;

// The greys of symbolic icons on dark and on light panels.
const QColor lightIcon(0xee, 0xee, 0xec);
const QColor darkIcon(0x2e, 0x34, 0x36);

/// One drawing in one colour, drawn at whatever size the tray asks and
/// named after its symbolic icon.
class WaveformIconEngine final : public QIconEngine {
public:
    WaveformIconEngine(int frame, const QColor &color)
        : m_frame(frame)
        , m_color(color) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override {
        const int side = std::min(rect.width(), rect.height());
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1;
        QImage picture = WaveformArt::image(m_frame, qRound(side * ratio), m_color);
        picture.setDevicePixelRatio(ratio);
        painter->drawImage(QRect(rect.x() + (rect.width() - side) / 2,
                                 rect.y() + (rect.height() - side) / 2, side, side),
                           picture);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode, QIcon::State, qreal scale) override {
        const int side = qRound(std::min(size.width(), size.height()) * scale);
        QPixmap pixmap = QPixmap::fromImage(WaveformArt::image(m_frame, side, m_color));
        pixmap.setDevicePixelRatio(scale);
        return pixmap;
    }
    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        // What trays ask for, from 16 to 48 pixels.
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}};
    }
    QString iconName() override { return WaveformArt::symbolicIconName(m_frame); }
    bool isNull() override { return false; }
    QString key() const override { return QStringLiteral("OrvintaWaveform"); }
    QIconEngine *clone() const override { return new WaveformIconEngine(m_frame, m_color); }

private:
    int m_frame;
    QColor m_color;
};

} // namespace

QColor trayIconColor(const QColor &background) {
    return contrastRatio(lightIcon, background) >= contrastRatio(darkIcon, background) ? lightIcon
                                                                                       : darkIcon;
}

std::optional<QColor> trayBackground(const QImage &iconPlace) {
    if (iconPlace.width() < 3 || iconPlace.height() < 3)
        return std::nullopt;
    const QImage image = iconPlace.convertToFormat(QImage::Format_RGB32);
    std::array<std::vector<int>, 3> channels;
    const auto add = [&](int x, int y) {
        const QRgb pixel = image.pixel(x, y);
        channels[0].push_back(qRed(pixel));
        channels[1].push_back(qGreen(pixel));
        channels[2].push_back(qBlue(pixel));
    };
    const int right = image.width() - 1, bottom = image.height() - 1;
    for (int x = 0; x <= right; ++x)
        add(x, 0), add(x, bottom);
    for (int y = 1; y < bottom; ++y)
        add(0, y), add(right, y);
    // The median: the odd pixel of the drawing's edge, smoothed onto the
    // border, leaves it as it is.
    const auto median = [](std::vector<int> &values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    return QColor(median(channels[0]), median(channels[1]), median(channels[2]));
}

QPoint panelPosition(const QRect &anchor, const QSize &panel, const QRect &available) {
    constexpr int gap = 4;
    const QPoint centre = anchor.center();
    int x = centre.x() - panel.width() / 2;
    const bool lowerHalf = centre.y() > available.center().y();
    int y = lowerHalf ? anchor.top() - gap - panel.height() : anchor.bottom() + 1 + gap;
    x = std::clamp(x, available.left(),
                   std::max(available.left(), available.right() + 1 - panel.width()));
    y = std::clamp(y, available.top(),
                   std::max(available.top(), available.bottom() + 1 - panel.height()));
    return {x, y};
}

TrayController::TrayController(AppState &state, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_tray(std::make_unique<QSystemTrayIcon>()) {
    m_tray->setToolTip(QStringLiteral("Orvinta"));
    followPanel();
    connect(state.listening(), &ListeningController::menuBarIconFrameChanged, this,
            &TrayController::updateIcon);
    connect(state.listening(), &ListeningController::isListeningChanged, this,
            &TrayController::updateIcon);
    for (auto changed : {&Dictation::isDictatingChanged, &Dictation::isTentativeChanged})
        connect(state.dictation(), changed, this, &TrayController::updateIcon);
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // No context menu: a right click opens the panel as a left click does.
                if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::Context)
                    return;
                followPanel();
                const QRect icon = iconGeometry();
                Q_EMIT panelRequested(icon.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : icon);
            });
    m_panelReading.setSingleShot(true);
    m_panelReading.setInterval(0);
    connect(&m_panelReading, &QTimer::timeout, this, &TrayController::followPanel);
    m_settling.setInterval(settleCheck);
    connect(&m_settling, &QTimer::timeout, this, [this] {
        if (++m_settleChecks >= settleChecks)
            m_settling.stop();
        if (iconGeometry() != m_panelReadAt)
            followPanel();
    });
    // The palette's changes, and the XEmbed tray's icon window (Qt's own
    // widget, made anew for each tray the icon moves to).
    QCoreApplication::instance()->installEventFilter(this);
}

TrayController::~TrayController() = default;

bool TrayController::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::ApplicationPaletteChange:
        if (watched == QCoreApplication::instance())
            followPanel();
        break;
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Paint:
        if (!watched->isWidgetType() ||
            watched->objectName() != QLatin1String("QSystemTrayIconSys"))
            break;
        // Shown: embedded anew, on screen at its first paint. The tray then
        // lays its icons out and may move the window that holds this one,
        // which tells this one nothing: its place is watched a while.
        if (event->type() != QEvent::Paint) {
            m_readPanelOnPaint = true;
            m_settleChecks = 0;
            m_settling.start();
        } else if (m_readPanelOnPaint) {
            m_readPanelOnPaint = false;
            m_panelReading.start();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TrayController::followPanel() {
    // Only XEmbed trays tell the icon's place; there the panel is on screen.
    const QRect icon = iconGeometry();
    m_panelReadAt = icon;
    std::optional<QColor> panel;
    if (QScreen *screen = icon.isEmpty() ? nullptr : QGuiApplication::screenAt(icon.center())) {
        const QRect place = icon.translated(-screen->geometry().topLeft());
        panel = trayBackground(
            screen->grabWindow(0, place.x(), place.y(), place.width(), place.height()).toImage());
    }
    const QColor color =
        trayIconColor(panel ? *panel : QGuiApplication::palette().color(QPalette::Window));
    if (panel)
        qCDebug(lcTray, "Tray panel %s: the icon is drawn in %s", qPrintable(panel->name()),
                qPrintable(color.name()));
    if (color == m_color)
        return;
    m_color = color;
    m_shownFrame = -2;
    updateIcon();
    Q_EMIT iconColorChanged();
}

void TrayController::updateIcon() {
    const bool animated = m_state.listening()->isListening() || m_state.dictation()->isShown();
    const int moving = m_reducedMotion ? 0 : m_state.listening()->menuBarIconFrame();
    const int frame = animated ? WaveformArt::frameIndex(moving) : -1;
    if (frame == m_shownFrame)
        return;
    m_shownFrame = frame;
    m_tray->setIcon(QIcon(new WaveformIconEngine(frame, m_color)));
}

void TrayController::setReducedMotion(bool reduced) {
    if (reduced == m_reducedMotion)
        return;
    m_reducedMotion = reduced;
    updateIcon();
}

void TrayController::show() {
    m_tray->show();
}

bool TrayController::isVisible() const {
    return m_tray->isVisible();
}

QRect TrayController::iconGeometry() const {
    return m_tray->geometry();
}

} // namespace Orvinta
