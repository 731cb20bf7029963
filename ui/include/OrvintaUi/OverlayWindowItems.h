#pragma once

#include <QPointF>
#include <QQuickItem>
#include <QRect>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// Which bottom corner a resize handle sits in.
enum class OverlayCorner { bottomLeft, bottomRight };

/// The frame after a resize drag from `dragStart` to `mouse` (top-down screen
/// coordinates) that began with `frameStart`: the opposite vertical edge and
/// the top edge stay put, and the frame keeps at least 300 x 150.
QRect overlayResizedFrame(OverlayCorner corner, const QRect &frameStart, QPointF dragStart,
                          QPointF mouse);

/// The overlay's background: a press that nothing above it takes moves the
/// window, by the window manager where it offers that, else by following the
/// pointer.
class OverlayMoveArea : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit OverlayMoveArea(QQuickItem *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool m_following = false;
    QPointF m_dragStart;
    QPoint m_positionStart;
};

/// A 20 x 20 handle in one bottom corner that resizes the window by the
/// overlay's rules. It lies above the content, so presses on it are its own.
class OverlayResizeHandle : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool bottomLeft READ isBottomLeft WRITE setBottomLeft NOTIFY cornerChanged)

public:
    explicit OverlayResizeHandle(QQuickItem *parent = nullptr);

    bool isBottomLeft() const { return m_corner == OverlayCorner::bottomLeft; }
    void setBottomLeft(bool bottomLeft);

Q_SIGNALS:
    void cornerChanged();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    OverlayCorner m_corner = OverlayCorner::bottomRight;
    bool m_dragging = false;
    QPointF m_dragStart;
    QRect m_frameStart;
};

} // namespace Orvinta
