#include <OrvintaUi/OverlayWindowItems.h>

#include <QCursor>
#include <QMouseEvent>
#include <QQuickWindow>

#include <algorithm>
#include <cmath>

namespace Orvinta {

namespace {
constexpr int minimumWidth = 300;
constexpr int minimumHeight = 150;
} // namespace

QRect overlayResizedFrame(OverlayCorner corner, const QRect &frameStart, QPointF dragStart,
                          QPointF mouse) {
    const int dx = static_cast<int>(std::lround(mouse.x() - dragStart.x()));
    const int dy = static_cast<int>(std::lround(mouse.y() - dragStart.y()));
    const int right = frameStart.x() + frameStart.width();
    int width = 0;
    int x = frameStart.x();
    if (corner == OverlayCorner::bottomRight) {
        width = std::max(frameStart.width() + dx, minimumWidth);
    } else {
        width = std::max(frameStart.width() - dx, minimumWidth);
        x = right - width;
    }
    const int height = std::max(frameStart.height() + dy, minimumHeight);
    return QRect(x, frameStart.y(), width, height);
}

OverlayMoveArea::OverlayMoveArea(QQuickItem *parent)
    : QQuickItem(parent) {
    setAcceptedMouseButtons(Qt::LeftButton);
}

void OverlayMoveArea::mousePressEvent(QMouseEvent *event) {
    QQuickWindow *win = window();
    if (!win) {
        event->ignore();
        return;
    }
    event->accept();
    m_following = !win->startSystemMove();
    m_dragStart = event->globalPosition();
    m_positionStart = win->position();
}

void OverlayMoveArea::mouseMoveEvent(QMouseEvent *event) {
    QQuickWindow *win = window();
    if (!m_following || !win)
        return;
    const QPointF delta = event->globalPosition() - m_dragStart;
    win->setPosition(m_positionStart + delta.toPoint());
}

void OverlayMoveArea::mouseReleaseEvent(QMouseEvent *) {
    m_following = false;
}

OverlayResizeHandle::OverlayResizeHandle(QQuickItem *parent)
    : QQuickItem(parent) {
    setAcceptedMouseButtons(Qt::LeftButton);
    setCursor(Qt::SizeFDiagCursor);
}

void OverlayResizeHandle::setBottomLeft(bool bottomLeft) {
    const OverlayCorner corner =
        bottomLeft ? OverlayCorner::bottomLeft : OverlayCorner::bottomRight;
    if (corner == m_corner)
        return;
    m_corner = corner;
    setCursor(bottomLeft ? Qt::SizeBDiagCursor : Qt::SizeFDiagCursor);
    Q_EMIT cornerChanged();
}

void OverlayResizeHandle::mousePressEvent(QMouseEvent *event) {
    QQuickWindow *win = window();
    if (!win) {
        event->ignore();
        return;
    }
    event->accept();
    m_dragging = true;
    m_dragStart = event->globalPosition();
    m_frameStart = win->geometry();
}

void OverlayResizeHandle::mouseMoveEvent(QMouseEvent *event) {
    QQuickWindow *win = window();
    if (!m_dragging || !win)
        return;
    win->setGeometry(
        overlayResizedFrame(m_corner, m_frameStart, m_dragStart, event->globalPosition()));
}

void OverlayResizeHandle::mouseReleaseEvent(QMouseEvent *) {
    m_dragging = false;
}

} // namespace Orvinta
