#pragma once

// What the window tests share: items and their texts, screen readers, contrast, X tools.

#include <OrvintaUi/Contrast.h>

#include <QAccessible>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QStringList>
#include <QTest>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace Orvinta::Testing {

inline bool onX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

/// The window that has the keyboard focus, as the X server sees it.
inline WId inputFocus() {
    xcb_connection_t *x =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    xcb_get_input_focus_reply_t *reply =
        xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr);
    const WId focus = reply ? reply->focus : WId(XCB_WINDOW_NONE);
    std::free(reply);
    return focus;
}

/// Runs an X tool (xdotool, xprop); its output, and a failure when it fails.
inline QString xTool(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

inline QString xdotool(const QStringList &arguments) {
    return xTool(QStringLiteral("xdotool"), arguments);
}

/// Every item of the window's visual tree from its root, delegates and
/// popups included (they are not QObject children of the window).
inline QList<QQuickItem *> allItems(QObject *root) {
    QList<QQuickItem *> pending;
    if (auto *window = qobject_cast<QQuickWindow *>(root)) {
        QQuickItem *top = window->contentItem();
        while (top->parentItem())
            top = top->parentItem();
        pending << top;
    } else if (auto *item = qobject_cast<QQuickItem *>(root)) {
        pending << item;
    }
    QList<QQuickItem *> items;
    while (!pending.isEmpty()) {
        items << pending.takeFirst();
        pending << items.last()->childItems();
    }
    return items;
}

/// All items below `root` with `name` as their object name.
inline QList<QQuickItem *> itemsNamed(QObject *root, const QString &name) {
    QList<QQuickItem *> found;
    for (QQuickItem *item : allItems(root))
        if (item->objectName() == name)
            found << item;
    return found;
}

inline QQuickItem *itemNamed(QObject *root, const QString &name) {
    return itemsNamed(root, name).value(0);
}

/// The item that says `text`: a shown one (delegates too), else one inside
/// a closed menu; null when none does.
inline QQuickItem *itemSaying(QObject *root, const QString &text) {
    for (QQuickItem *item : allItems(root))
        if (item->isVisible() && item->property("text").toString() == text)
            return item;
    for (QQuickItem *item : root->findChildren<QQuickItem *>())
        if (item->property("text").toString() == text)
            return item;
    return nullptr;
}

inline bool shown(QQuickItem *item) {
    return item && item->isVisible();
}

/// The texts of every visible item, for finding what a view says.
inline QStringList visibleTexts(QObject *root) {
    QStringList texts;
    for (QQuickItem *item : allItems(root))
        if (const QVariant text = item->property("text"); item->isVisible() && text.isValid())
            texts << text.toString();
    return texts;
}

/// What a screen reader hears as the name of `object` (an item or a window).
inline QString accessibleName(QObject *object) {
    QAccessibleInterface *accessible =
        object ? QAccessible::queryAccessibleInterface(object) : nullptr;
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

/// What a screen reader finds in `window`, depth first from the window.
inline QList<QAccessibleInterface *> accessibleTree(QWindow *window) {
    QList<QAccessibleInterface *> found;
    QList<QAccessibleInterface *> pending{QAccessible::queryAccessibleInterface(window)};
    while (!pending.isEmpty()) {
        QAccessibleInterface *next = pending.takeFirst();
        if (!next)
            continue;
        found << next;
        for (int i = next->childCount() - 1; i >= 0; --i)
            pending.prepend(next->child(i));
    }
    return found;
}

/// The item with the keyboard focus in `window`, by the name a screen reader
/// says for it (its object name where it has none).
inline QString focusedName(QQuickWindow *window) {
    QQuickItem *item = window->activeFocusItem();
    if (!item)
        return {};
    const QString name = accessibleName(item);
    return name.isEmpty() ? item->objectName() : name;
}

/// Screen-reader events while it lives (accessibility on), with a changed text or value.
class AccessibilityEvents {
public:
    struct Event {
        QAccessible::Event type;
        QObject *object;
        QString text;
    };

    AccessibilityEvents() {
        s_current = this;
        QAccessible::setActive(true);
        m_previous = QAccessible::installUpdateHandler(&record);
    }
    ~AccessibilityEvents() {
        QAccessible::installUpdateHandler(m_previous);
        s_current = nullptr;
    }
    AccessibilityEvents(const AccessibilityEvents &) = delete;
    AccessibilityEvents &operator=(const AccessibilityEvents &) = delete;

    /// The events of `type`, about `object` where one is given.
    std::vector<Event> of(QAccessible::Event type, QObject *object = nullptr) const {
        std::vector<Event> found;
        for (const Event &event : events)
            if (event.type == type && (!object || event.object == object))
                found.push_back(event);
        return found;
    }

    std::vector<Event> events;

private:
    static void record(QAccessibleEvent *event) {
        if (!s_current)
            return;
        QString text;
        if (event->type() == QAccessible::TextUpdated)
            text = static_cast<QAccessibleTextUpdateEvent *>(event)->textInserted();
        else if (event->type() == QAccessible::ValueChanged)
            text = static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
        s_current->events.push_back({event->type(), event->object(), text});
    }

    static inline AccessibilityEvents *s_current = nullptr;
    QAccessible::UpdateHandler m_previous = nullptr;
};

/// A desktop where a screen reader listens, registered before the first window:
/// a session bus with the AT-SPI launcher for Qt's bridge, accessibility on as
/// Orca turns it on. Without the AT-SPI tools accessibility stays off.
class AccessibilityBus : public ::testing::Environment {
public:
    void SetUp() override {
        const QString launcher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
        if (!onX11() || !QFileInfo::exists(launcher) ||
            QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return;
        m_session = std::make_unique<QProcess>();
        m_session->start(QStringLiteral("dbus-daemon"),
                         {"--session", "--nofork", "--print-address=1"});
        if (!m_session->waitForReadyRead(5000))
            return;
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_session->readLine().trimmed());
        qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        m_launcher = std::make_unique<QProcess>();
        m_launcher->start(launcher, {});
        // Qt's bridge looks for the launcher's name once, when it starts.
        for (int i = 0; i < 50; ++i) {
            QProcess ask;
            ask.start(QStringLiteral("dbus-send"),
                      {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                       "org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus"});
            ask.waitForFinished(2000);
            if (ask.readAllStandardOutput().contains("true"))
                return;
            QTest::qWait(100);
        }
    }
    void TearDown() override {
        for (std::unique_ptr<QProcess> *process : {&m_launcher, &m_session}) {
            if (*process)
                (*process)->terminate(), (*process)->waitForFinished(5000);
            process->reset();
        }
    }

private:
    std::unique_ptr<QProcess> m_session;
    std::unique_ptr<QProcess> m_launcher;
};

/// A light or a dark desktop theme's palette, as the platform theme hands it over.
inline QPalette themePalette(bool dark) {
    if (!dark) {
        QPalette light(QColor(0xef, 0xef, 0xef), QColor(0xef, 0xef, 0xef));
        light.setColor(QPalette::WindowText, Qt::black);
        return light;
    }
    QPalette palette(QColor(0x3a, 0x3a, 0x3a), QColor(0x2b, 0x2b, 0x2b));
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(role, QColor(0xe0, 0xe0, 0xe0));
    palette.setColor(QPalette::Base, QColor(0x33, 0x33, 0x33));
    return palette;
}

/// The contrast a reader meets in a picture of one text: its commonest colour
/// (the ground) against the pixel that stands out most (a glyph's core).
inline double measuredContrast(const QImage &picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    const QRgb ground = std::max_element(counts.cbegin(), counts.cend()).key();
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrastRatio(QColor(it.key()), QColor(ground)));
    return best;
}

/// The picture of `item` as the window shows it (offscreen too).
inline QImage pictureOf(QQuickWindow &window, QQuickItem *item) {
    const QRect area =
        item->mapRectToScene(QRectF(0, 0, item->width(), item->height())).toAlignedRect();
    const QImage all = window.grabWindow();
    const qreal ratio = all.devicePixelRatio();
    return all.copy(QRect(area.topLeft() * ratio, area.size() * ratio));
}

} // namespace Orvinta::Testing
