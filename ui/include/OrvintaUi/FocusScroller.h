#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// The content position that shows the span from `top` to `bottom` (content
/// coordinates) with `margin` around it in a view `viewHeight` high now at
/// `contentY`: unchanged when it is in view, else moved just enough, and
/// never past either end of `contentHeight`.
qreal contentYShowing(qreal top, qreal bottom, qreal contentY, qreal viewHeight,
                      qreal contentHeight, qreal margin);

/// Keeps the keyboard focus in view: whenever the window's focus moves to an
/// item inside `flickable`, the flickable scrolls to show it.
class FocusScroller : public QObject {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QQuickItem *flickable READ flickable WRITE setFlickable NOTIFY flickableChanged)

public:
    static constexpr qreal margin = 8;

    explicit FocusScroller(QObject *parent = nullptr);

    QQuickItem *flickable() const { return m_flickable; }
    void setFlickable(QQuickItem *flickable);

Q_SIGNALS:
    void flickableChanged();

private:
    void followWindow();
    void reveal();

    QPointer<QQuickItem> m_flickable;
    QMetaObject::Connection m_windowConnection;
    QMetaObject::Connection m_focusConnection;
};

} // namespace Orvinta
