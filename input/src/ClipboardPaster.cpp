#include <OrvintaInput/ClipboardPaster.h>

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

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

} // namespace

ClipboardPaster::ClipboardPaster(std::unique_ptr<PasteKeystrokes> keystrokes,
                                 std::shared_ptr<PreferencesStore> preferences, QObject *parent)
    : QObject(parent)
    , m_keystrokes(std::move(keystrokes))
    , m_preferences(std::move(preferences)) {
    m_restoreTimer.setSingleShot(true);
    m_restoreTimer.setTimerType(Qt::PreciseTimer);
    m_restoreTimer.setInterval(restoreDelay);
    connect(&m_restoreTimer, &QTimer::timeout, this, [this] {
        m_delayPassed = true;
        maybeRestore();
    });
    m_fetchTimer.setSingleShot(true);
    m_fetchTimer.setInterval(fetchWait);
    connect(&m_fetchTimer, &QTimer::timeout, this, &ClipboardPaster::restore);
}

ClipboardPaster::~ClipboardPaster() {
    // Quitting within the delay still gives the user's clipboard back.
    if (m_restorePending)
        restore();
}

bool ClipboardPaster::isAvailable() const {
    QString reason = m_keystrokes->unavailableReason();
    if (reason.isEmpty() && QGuiApplication::platformName() != QLatin1String("xcb"))
        reason = QStringLiteral("the application's clipboard is not the X11 clipboard "
                                "(Qt platform \"%1\")")
                     .arg(QGuiApplication::platformName());
    if (reason.isEmpty() && !desktopClipboard())
        reason = QStringLiteral("no clipboard without a GUI application");
    if (reason.isEmpty())
        return true;
    if (!m_unavailableLogged) {
        qCWarning(lcPaste, "Paste at the cursor unavailable: %s", qUtf8Printable(reason));
        m_unavailableLogged = true;
    }
    return false;
}

QString ClipboardPaster::pasteTextAtCursor(const QString &text) {
    QClipboard *clipboard = desktopClipboard();
    if (!clipboard)
        return QStringLiteral("no clipboard without a GUI application");
    const bool keepOnClipboard =
        m_preferences && m_preferences->boolValue(QStringLiteral("app.autoCopyToClipboard"));
    // Overlapping pastes keep what the user had, not the previous paste's text.
    if (!m_restorePending && !keepOnClipboard) {
        m_saved = copyOf(clipboard->mimeData(QClipboard::Clipboard));
        // An owner that gave nothing did not answer in time (stopped, or busy).
        if (!m_saved && m_keystrokes->clipboardHasOwner()) {
            qCWarning(lcPaste, "The clipboard's owner did not answer: nothing pasted, the "
                               "clipboard left as it was");
            return QStringLiteral("the clipboard did not answer");
        }
    }

    QPointer<ClipboardPaster> self(this);
    m_fetched = false;
    const quint64 serial = ++m_serial;
    clipboard->setMimeData(new PastedText(text,
                                          [self, serial] {
                                              if (self && self->m_serial == serial &&
                                                  !self->m_fetched) {
                                                  self->m_fetched = true;
                                                  self->maybeRestore();
                                              }
                                          }),
                           QClipboard::Clipboard);

    const QString preference =
        m_preferences ? m_preferences->stringValue(pasteShortcutPreference).value_or(QString())
                      : QString();
    const QStringList wmClass = m_keystrokes->focusedWindowClass();
    const PasteShortcut shortcut = choosePasteShortcut(preference, wmClass);
    qCDebug(lcPaste, "Pasting into %s with %s", qUtf8Printable(wmClass.join(QLatin1Char('/'))),
            shortcut == PasteShortcut::ctrlShiftV ? "Ctrl+Shift+V" : "Ctrl+V");
    if (!m_keystrokes->sendPaste(shortcut))
        qCWarning(lcPaste) << "The paste keystroke could not be sent";
    Q_EMIT pasted(shortcut);

    if (keepOnClipboard) {
        m_restoreTimer.stop();
        m_fetchTimer.stop();
        m_restorePending = false;
        m_saved.reset();
        return {};
    }
    m_restorePending = true;
    m_delayPassed = false;
    m_restoreTimer.start();
    m_fetchTimer.start();
    return {};
}

void ClipboardPaster::maybeRestore() {
    // Back after the delay, but never before the window has read the text:
    // a busy application reads the clipboard late and would paste the old content.
    if (m_restorePending && m_delayPassed && m_fetched)
        restore();
}

void ClipboardPaster::restore() {
    m_restoreTimer.stop();
    m_fetchTimer.stop();
    if (!m_restorePending)
        return;
    m_restorePending = false;
    if (QClipboard *clipboard = desktopClipboard()) {
        if (m_saved)
            clipboard->setMimeData(m_saved.release(), QClipboard::Clipboard);
        else
            clipboard->clear(QClipboard::Clipboard);
    }
    m_saved.reset();
    qCDebug(lcPaste) << "Clipboard restored";
    Q_EMIT restored();
}

} // namespace Orvinta
