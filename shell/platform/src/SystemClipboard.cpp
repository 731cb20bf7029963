#include <OrvintaPlatform/SystemClipboard.h>

#include <OrvintaPlatform/PlatformLog.h>

#include <QClipboard>
#include <QGuiApplication>

namespace Orvinta {

namespace {

QClipboard *systemClipboard() {
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return QGuiApplication::clipboard();
    static bool warned = false;
    if (!warned) {
        qCWarning(lcClipboard, "No display: the clipboard is not available");
        warned = true;
    }
    return nullptr;
}

} // namespace

void SystemClipboard::clear() {
    if (QClipboard *clipboard = systemClipboard())
        clipboard->clear(QClipboard::Clipboard);
}

void SystemClipboard::writeText(const QString &text) {
    if (QClipboard *clipboard = systemClipboard())
        clipboard->setText(text, QClipboard::Clipboard);
}

std::optional<QString> SystemClipboard::readText() const {
    QClipboard *clipboard = systemClipboard();
    if (!clipboard)
        return std::nullopt;
    const QString text = clipboard->text(QClipboard::Clipboard);
    return text.isNull() ? std::nullopt : std::optional(text);
}

} // namespace Orvinta
