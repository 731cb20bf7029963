#include <OrvintaUi/FocusScroller.h>

#include <QQuickWindow>

#include <algorithm>

namespace Orvinta {

qreal contentYShowing(qreal top, qreal bottom, qreal contentY, qreal viewHeight,
                      qreal contentHeight, qreal margin) {
    qreal y = contentY;
    if (top - margin < contentY)
        y = top - margin;
    else if (bottom + margin > contentY + viewHeight)
        y = std::min(top - margin, bottom + margin - viewHeight);
    return std::clamp(y, qreal(0), std::max(qreal(0), contentHeight - viewHeight));
}

FocusScroller::FocusScroller(QObject *parent)
    : QObject(parent) {}

void FocusScroller::setFlickable(QQuickItem *flickable) {
    if (flickable == m_flickable)
        return;
    disconnect(m_windowConnection);
    m_flickable = flickable;
    if (m_flickable)
        m_windowConnection =
            connect(m_flickable, &QQuickItem::windowChanged, this, &FocusScroller::followWindow);
    followWindow();
    Q_EMIT flickableChanged();
}

void FocusScroller::followWindow() {
    disconnect(m_focusConnection);
    if (QQuickWindow *window = m_flickable ? m_flickable->window() : nullptr)
        m_focusConnection =
            connect(window, &QQuickWindow::activeFocusItemChanged, this, &FocusScroller::reveal);
}

void FocusScroller::reveal() {
    if (!m_flickable || !m_flickable->window())
        return;
    QQuickItem *focus = m_flickable->window()->activeFocusItem();
    auto *content = m_flickable->property("contentItem").value<QQuickItem *>();
    if (!focus || !content || !content->isAncestorOf(focus))
        return;
    const QRectF box = focus->mapRectToItem(content, focus->boundingRect());
    const qreal contentY = m_flickable->property("contentY").toReal();
    const qreal shown = contentYShowing(box.top(), box.bottom(), contentY, m_flickable->height(),
                                        m_flickable->property("contentHeight").toReal(), margin);
    if (shown != contentY)
        m_flickable->setProperty("contentY", shown);
}

} // namespace Orvinta
