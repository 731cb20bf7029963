#include <OrvintaUi/KeyCaptureItem.h>

#include <QKeyEvent>

namespace Orvinta {

KeyCaptureItem::KeyCaptureItem(QQuickItem *parent)
    : QQuickItem(parent) {
    setFlag(ItemIsFocusScope, false);
    setActiveFocusOnTab(false);
}

// Application shortcuts must not take a combination away from the field.
bool KeyCaptureItem::event(QEvent *event) {
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QQuickItem::event(event);
}

void KeyCaptureItem::keyPressEvent(QKeyEvent *event) {
    event->accept();
    Q_EMIT keyPressed(event->key(), static_cast<int>(event->modifiers()),
                      event->nativeVirtualKey());
}

void KeyCaptureItem::keyReleaseEvent(QKeyEvent *event) {
    event->accept();
}

} // namespace Orvinta
