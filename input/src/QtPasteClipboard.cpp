#include <OrvintaInput/PasteClipboard.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace Orvinta {

namespace {

const QString qtImageFormat = QStringLiteral("application/x-qt-image");

/// X selection protocol targets that Qt lists among the formats; they are
/// answered by whoever owns the clipboard, never stored.
bool isProtocolTarget(const QString &format) {
    static const QStringList targets{"TARGETS",      "MULTIPLE", "TIMESTAMP",
                                     "SAVE_TARGETS", "DELETE",   "INCR"};
    return targets.contains(format);
}

/// A copy of every format, so that images, file lists and rich text come
/// back as well as plain text. An image is read once and offered again in
/// every image format, rather than fetched once per format.
std::unique_ptr<QMimeData> copyOf(const QMimeData *source) {
    if (!source || source->formats().isEmpty())
        return nullptr;
    auto copy = std::make_unique<QMimeData>();
    const bool hasImage = source->hasImage();
    if (hasImage)
        copy->setImageData(source->imageData());
    for (const QString &format : source->formats()) {
        if (isProtocolTarget(format))
            continue;
        if (hasImage && (format == qtImageFormat || format.startsWith(QLatin1String("image/")) ||
                         format == QLatin1String("BITMAP") || format == QLatin1String("PIXMAP")))
            continue;
        copy->setData(format, source->data(format));
    }
    return copy;
}

/// The pasted text, noticing when the focused window fetches it.
class PastedText : public QMimeData {
public:
    PastedText(const QString &text, std::function<void()> fetched)
        : m_fetched(std::move(fetched)) {
        setText(text);
    }

protected:
    QVariant retrieveData(const QString &format, QMetaType type) const override {
        if (m_fetched)
            QMetaObject::invokeMethod(qApp, m_fetched, Qt::QueuedConnection);
        return QMimeData::retrieveData(format, type);
    }

private:
    std::function<void()> m_fetched;
};

QClipboard *desktopClipboard() {
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance())
               ? QGuiApplication::clipboard()
               : nullptr;
}

class QtPasteClipboard : public PasteClipboard {
public:
    explicit QtPasteClipboard(std::function<bool()> hasOwner)
        : m_hasOwner(std::move(hasOwner)) {}

    QString unavailableReason() const override {
        if (!desktopClipboard())
            return QStringLiteral("no clipboard without a GUI application");
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return QStringLiteral("the application's clipboard is not the X11 clipboard "
                                  "(Qt platform \"%1\")")
                .arg(QGuiApplication::platformName());
        return {};
    }
    bool hasOwner() override { return m_hasOwner && m_hasOwner(); }
    std::unique_ptr<QMimeData> save() override {
        QClipboard *clipboard = desktopClipboard();
        return clipboard ? copyOf(clipboard->mimeData(QClipboard::Clipboard)) : nullptr;
    }
    bool setText(const QString &text, std::function<void()> fetched) override {
        QClipboard *clipboard = desktopClipboard();
        if (!clipboard)
            return false;
        clipboard->setMimeData(new PastedText(text, std::move(fetched)), QClipboard::Clipboard);
        return true;
    }
    void restore(std::unique_ptr<QMimeData> saved) override {
        QClipboard *clipboard = desktopClipboard();
        if (!clipboard)
            return;
        if (saved)
            clipboard->setMimeData(saved.release(), QClipboard::Clipboard);
        else
            clipboard->clear(QClipboard::Clipboard);
    }
    bool holdsContent() const override {
        QClipboard *clipboard = desktopClipboard();
        return clipboard && clipboard->ownsClipboard();
    }

private:
    std::function<bool()> m_hasOwner;
};

} // namespace

std::unique_ptr<PasteClipboard> makeQtPasteClipboard(std::function<bool()> hasOwner) {
    return std::make_unique<QtPasteClipboard>(std::move(hasOwner));
}

} // namespace Orvinta
