#include <OrvintaInput/ClipboardPaster.h>

#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QMimeData>
#include <QPointer>

namespace Orvinta {

ClipboardPaster::ClipboardPaster(std::unique_ptr<PasteKeystrokes> keystrokes,
                                 std::shared_ptr<PreferencesStore> preferences, QObject *parent)
    : ClipboardPaster(nullptr, nullptr, std::move(preferences), parent) {
    PasteKeystrokes *display = keystrokes.get();
    m_clipboard = makeQtPasteClipboard([display] { return display->clipboardHasOwner(); });
    m_keystrokes = std::move(keystrokes);
}

ClipboardPaster::ClipboardPaster(std::unique_ptr<PasteKeystrokes> keystrokes,
                                 std::unique_ptr<PasteClipboard> clipboard,
                                 std::shared_ptr<PreferencesStore> preferences, QObject *parent)
    : QObject(parent)
    , m_keystrokes(std::move(keystrokes))
    , m_clipboard(std::move(clipboard))
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

QString ClipboardPaster::unavailableReason() const {
    const QString reason = m_keystrokes->unavailableReason();
    return reason.isEmpty() ? m_clipboard->unavailableReason() : reason;
}

bool ClipboardPaster::isAvailable() const {
    const QString reason = unavailableReason();
    if (reason.isEmpty())
        return true;
    if (!m_unavailableLogged) {
        qCWarning(lcPaste, "Paste at the cursor unavailable: %s", qUtf8Printable(reason));
        m_unavailableLogged = true;
    }
    return false;
}

PasteResult ClipboardPaster::pasteTextAtCursor(const QString &text) {
    if (const QString reason = m_clipboard->unavailableReason(); !reason.isEmpty())
        return {reason, false};
    QString noKeystroke = m_keystrokes->unavailableReason();
    if (noKeystroke.isEmpty())
        noKeystroke = m_keystrokes->focusUnreachable();
    const bool keepOnClipboard =
        !noKeystroke.isEmpty() ||
        (m_preferences && m_preferences->boolValue(QStringLiteral("app.autoCopyToClipboard")));
    // Overlapping pastes keep what the user had, not the previous paste's text.
    if (!m_restorePending && !keepOnClipboard) {
        m_saved = m_clipboard->save();
        // An owner that gave nothing did not answer in time (stopped, or busy).
        if (!m_saved && m_clipboard->hasOwner()) {
            qCWarning(lcPaste, "The clipboard's owner did not answer: nothing pasted, the "
                               "clipboard left as it was");
            return {QStringLiteral("the clipboard did not answer"), false};
        }
    }

    QPointer<ClipboardPaster> self(this);
    m_fetched = false;
    const quint64 serial = ++m_serial;
    const bool set = m_clipboard->setText(text, [self, serial] {
        if (self && self->m_serial == serial && !self->m_fetched) {
            self->m_fetched = true;
            Q_EMIT self->textFetched();
            self->maybeRestore();
        }
    });
    if (!set) {
        if (!m_restorePending)
            m_saved.reset();
        qCWarning(lcPaste) << "The clipboard could not be set: nothing pasted";
        return {QStringLiteral("the clipboard could not be set"), false};
    }

    QString failure = noKeystroke;
    if (failure.isEmpty()) {
        const QString preference =
            m_preferences ? m_preferences->stringValue(pasteShortcutPreference).value_or(QString())
                          : QString();
        const QStringList wmClass = m_keystrokes->focusedWindowClass();
        const PasteShortcut shortcut = choosePasteShortcut(preference, wmClass);
        const QString window = wmClass.isEmpty() ? QStringLiteral("the focused window")
                                                 : wmClass.join(QLatin1Char('/'));
        qCDebug(lcPaste, "Pasting into %s with %s", qUtf8Printable(window),
                shortcut == PasteShortcut::ctrlShiftV ? "Ctrl+Shift+V" : "Ctrl+V");
        if (m_keystrokes->sendPaste(shortcut))
            Q_EMIT pasted(shortcut);
        else
            failure = QStringLiteral("the paste keystroke could not be sent");
    }
    if (!failure.isEmpty())
        qCWarning(lcPaste, "Not pasted (%s)%s", qUtf8Printable(failure),
                  keepOnClipboard ? ": the text is on the clipboard" : "");

    if (keepOnClipboard) {
        m_restoreTimer.stop();
        m_fetchTimer.stop();
        m_restorePending = false;
        m_saved.reset();
        return {failure, !failure.isEmpty()};
    }
    m_restorePending = true;
    if (!failure.isEmpty()) {
        // No window will read the text: the user's content comes back at once.
        restore();
        return {failure, false};
    }
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
    m_clipboard->restore(std::move(m_saved));
    qCDebug(lcPaste) << "Clipboard restored";
    Q_EMIT restored();
}

} // namespace Orvinta
