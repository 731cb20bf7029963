#include <OrvintaUi/TrayIcon.h>

#include <OrvintaApp/AppState.h>

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Orvinta {

namespace WaveformArt {

namespace {

struct Bar {
    double x, top, bottom;
};

// The logo on its 24 × 24 grid.
constexpr std::array<Bar, 6> logoBars{
    {{2, 10, 13}, {6, 6, 17}, {10, 3, 21}, {14, 8, 15}, {18, 5, 18}, {22, 10, 13}}};
constexpr double logoGrid = 24;
constexpr double logoStroke = 2;

// The frames on their 18 × 18 grid: the logo scaled by 0.75.
constexpr std::array<double, 6> frameX{1.5, 4.5, 7.5, 10.5, 13.5, 16.5};
constexpr std::array<double, 6> frameHalfHeight{1.125, 4.125, 6.75, 2.625, 4.875, 1.125};
constexpr double frameGrid = 18;
constexpr double frameStroke = 1.5;

QImage blank(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void drawBar(QPainter &painter, double x, double top, double bottom) {
    painter.drawLine(QPointF(x, top), QPointF(x, bottom));
}

QPen strokePen(const QColor &color, double width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

} // namespace

QImage logoImage(int height, const QColor &color) {
    if (height <= 0)
        return {};
    QImage image = blank(QSize(height, height));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(height / logoGrid, height / logoGrid);
    painter.setPen(strokePen(color, logoStroke));
    for (const Bar &bar : logoBars)
        drawBar(painter, bar.x, bar.top, bar.bottom);
    return image;
}

QImage frameImage(int k, int size, const QColor &color) {
    if (size <= 0)
        return {};
    QImage image = blank(QSize(size, size));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / frameGrid, size / frameGrid);
    painter.setPen(strokePen(color, frameStroke));
    for (int i = 0; i < 6; ++i) {
        const double scale =
            (std::sin(2 * std::numbers::pi * k / frameCount + i) + 1) * 0.65 * 0.5 + 0.35;
        const double h = frameHalfHeight[i] * scale;
        drawBar(painter, frameX[i], frameGrid / 2 - h, frameGrid / 2 + h);
    }
    return image;
}

int frameIndex(int menuBarIconFrame) {
    return ((menuBarIconFrame % frameCount) + frameCount) % frameCount;
}

} // namespace WaveformArt

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
    renderIcons();
    updateIcon();
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
                const QRect icon = iconGeometry();
                Q_EMIT panelRequested(icon.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : icon);
            });
}

TrayController::~TrayController() = default;

void TrayController::renderIcons() {
    const QColor color = QGuiApplication::palette().color(QPalette::WindowText);
    // Trays ask for 16 to 48 pixels; each size is drawn, not scaled.
    for (const int size : {16, 18, 22, 24, 32, 36, 44, 48}) {
        m_logo.addPixmap(QPixmap::fromImage(WaveformArt::logoImage(size, color)));
        for (int k = 0; k < WaveformArt::frameCount; ++k)
            m_frames[k].addPixmap(QPixmap::fromImage(WaveformArt::frameImage(k, size, color)));
    }
}

void TrayController::updateIcon() {
    const bool animated = m_state.listening()->isListening() || m_state.dictation()->isShown();
    const int frame =
        animated ? WaveformArt::frameIndex(m_state.listening()->menuBarIconFrame()) : -1;
    if (frame == m_shownFrame)
        return;
    m_shownFrame = frame;
    m_tray->setIcon(frame < 0 ? m_logo : m_frames[frame]);
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
