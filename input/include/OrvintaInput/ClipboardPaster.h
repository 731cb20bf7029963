#pragma once

#include <OrvintaApp/AppServices.h>
#include <OrvintaInput/PasteClipboard.h>
#include <OrvintaInput/PasteKeystrokes.h>

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

class QMimeData;

namespace Orvinta {

class PreferencesStore;

/// Paste at the cursor through the desktop clipboard: saves every format
/// the clipboard holds, puts the text there, sends the paste keystroke
/// (Ctrl+Shift+V to terminals) and, unless auto-copy is on, puts the saved
/// content back 0.2 s later. The text is never typed key by key.
class ClipboardPaster : public QObject, public CursorPaster {
    Q_OBJECT
public:
    /// Through Qt's clipboard, whose owner the keystrokes' display knows.
    ClipboardPaster(std::unique_ptr<PasteKeystrokes> keystrokes,
                    std::shared_ptr<PreferencesStore> preferences, QObject *parent = nullptr);
    ClipboardPaster(std::unique_ptr<PasteKeystrokes> keystrokes,
                    std::unique_ptr<PasteClipboard> clipboard,
                    std::shared_ptr<PreferencesStore> preferences, QObject *parent = nullptr);
    ~ClipboardPaster() override;

    bool isAvailable() const override;
    /// Empty where a paste can go out, else why not (the keystroke first).
    QString unavailableReason() const;
    /// Nothing is pasted when the clipboard's owner does not hand over its
    /// content: replacing it then would lose the user's clipboard. Where no
    /// keystroke can be sent the text stays on the clipboard, for the user's
    /// own Ctrl+V, and the reason is returned.
    PasteResult pasteTextAtCursor(const QString &text) override;

    /// Whether content this paster put on the clipboard (the text, or the
    /// restored content) is still served by this program.
    bool holdsClipboardContent() const { return m_clipboard->holdsContent(); }
    bool isRestorePending() const { return m_restorePending; }

    static constexpr std::chrono::milliseconds restoreDelay{200};
    /// The longest the restore waits for the focused window to fetch the
    /// text. A window on a busy machine may take seconds to handle the
    /// keystroke; restoring first would have it paste the user's old content
    /// (or, on Wayland, nothing) instead. A window that never reads only
    /// keeps the text on the clipboard this long.
    static constexpr std::chrono::milliseconds fetchWait{5000};

Q_SIGNALS:
    /// The keystroke went out, with the shortcut that was used.
    void pasted(Orvinta::PasteShortcut shortcut);
    /// A window read the text of the latest paste (once per paste).
    void textFetched();
    /// The saved clipboard content is back.
    void restored();

private:
    void restore();
    void maybeRestore();

    std::unique_ptr<PasteKeystrokes> m_keystrokes;
    std::unique_ptr<PasteClipboard> m_clipboard;
    std::shared_ptr<PreferencesStore> m_preferences;
    /// What the clipboard held before the first of overlapping pastes.
    std::unique_ptr<QMimeData> m_saved;
    bool m_restorePending = false;
    bool m_delayPassed = false;
    bool m_fetched = false;
    quint64 m_serial = 0;
    QTimer m_restoreTimer;
    QTimer m_fetchTimer;
    mutable bool m_unavailableLogged = false;
};

} // namespace Orvinta
