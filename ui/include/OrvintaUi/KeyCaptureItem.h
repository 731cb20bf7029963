#pragma once

#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// The invisible key-capturing view behind a recorder field: while it has
/// the keyboard focus it consumes every key press (none reaches the window
/// or the field's own shortcuts) and reports it with the X keysym, which
/// tells the left and right modifier keys apart.
class KeyCaptureItem : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT

public:
    explicit KeyCaptureItem(QQuickItem *parent = nullptr);

Q_SIGNALS:
    void keyPressed(int key, int modifiers, quint32 nativeKey);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
};

} // namespace Orvinta
