#include <OrvintaUi/CaptionAnnouncer.h>

#include <QAccessible>
#include <QAccessibleObject>
#include <QQuickWindow>

#include <algorithm>
#include <mutex>
#include <utility>

namespace Orvinta {

namespace {

/// The region as the screen reader sees it: a notification whose name, text
/// and value are the last line, focusable so that it can be read again.
class CaptionAnnouncerAccessible : public QAccessibleObject,
                                   public QAccessibleTextInterface,
                                   public QAccessibleValueInterface {
public:
    explicit CaptionAnnouncerAccessible(CaptionAnnouncer *announcer)
        : QAccessibleObject(announcer) {}

    CaptionAnnouncer *announcer() const { return static_cast<CaptionAnnouncer *>(object()); }
    QString line() const { return announcer() ? announcer()->text() : QString(); }

    QWindow *window() const override { return announcer() ? announcer()->window() : nullptr; }
    // The window lists it among its content: the items around it are not accessible.
    QAccessibleInterface *parent() const override {
        return window() ? QAccessible::queryAccessibleInterface(window()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text type) const override {
        switch (type) {
        case QAccessible::Name:
        case QAccessible::Value:
            return line();
        case QAccessible::Description:
            return QStringLiteral("New captions, read aloud");
        default:
            return {};
        }
    }
    QRect rect() const override {
        CaptionAnnouncer *item = announcer();
        if (!item || !item->window())
            return {};
        const QPointF origin = item->mapToGlobal(QPointF(0, 0));
        return QRect(origin.toPoint(),
                     QSize(qMax(1, int(item->width())), qMax(1, int(item->height()))));
    }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override {
        QAccessible::State state;
        CaptionAnnouncer *item = announcer();
        state.focusable = true;
        state.readOnly = true;
        state.focused = item && item->hasActiveFocus();
        state.invisible =
            !item || !item->isVisible() || !item->window() || !item->window()->isVisible();
        return state;
    }
    void *interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleObject::interface_cast(type);
    }

    // QAccessibleTextInterface: the line, read-only, without a caret.
    void selection(int, int *startOffset, int *endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return line().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(line().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override {
        *startOffset = 0;
        *endOffset = std::max(offset, characterCount());
        return {};
    }

    // QAccessibleValueInterface: the line as the value a focused reader speaks.
    QVariant currentValue() const override { return line(); }
    void setCurrentValue(const QVariant &) override {}
    QVariant maximumValue() const override { return {}; }
    QVariant minimumValue() const override { return {}; }
    QVariant minimumStepSize() const override { return {}; }
};

QAccessibleInterface *announcerFactory(const QString &, QObject *object) {
    if (auto *announcer = qobject_cast<CaptionAnnouncer *>(object))
        return new CaptionAnnouncerAccessible(announcer);
    return nullptr;
}

} // namespace

CaptionAnnouncer::CaptionAnnouncer(QQuickItem *parent)
    : QQuickItem(parent) {
    // Installed after Qt Quick's own factory, so asked before it.
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(announcerFactory); });
}

void CaptionAnnouncer::announce(const QString &text) {
    const QString previous = std::exchange(m_text, text);
    if (previous != text)
        Q_EMIT textChanged();
    if (!QAccessible::isActive())
        return;
    // The name first: readers cache it and refresh it on this event only.
    QAccessibleEvent name(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&name);
    QAccessibleTextUpdateEvent update(this, 0, previous, text);
    QAccessible::updateAccessibility(&update);
    QAccessibleValueChangeEvent value(this, text);
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent hide(this, QAccessible::ObjectHide);
    QAccessible::updateAccessibility(&hide);
    QAccessibleEvent show(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&show);
}

} // namespace Orvinta
