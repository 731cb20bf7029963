#pragma once

// What the window tests share: finding items in a window's tree, reading
// what it says, and running the X tools that act as a user.

#include <OrvintaUi/Contrast.h>

#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPalette>
#include <QProcess>
#include <QQuickItem>
#include <QQuickWindow>
#include <QStringList>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

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

/// The contrast a reader meets in a picture of one text: between its most
/// common colour (what the text is drawn on) and the pixel that stands out
/// most from it (the core of a glyph).
inline double measuredContrast(const QImage &picture) {
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb ground = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most)
            std::tie(ground, most) = std::pair{it.key(), it.value()};
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
