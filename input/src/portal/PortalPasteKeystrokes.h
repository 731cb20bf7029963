#pragma once

#include "PortalConnection.h"

#include <OrvintaInput/PasteKeystrokes.h>

#include <QObject>

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>

namespace Orvinta {

class PreferencesStore;

/// The paste keystroke through a RemoteDesktop portal session with a
/// keyboard: keysyms, not key codes, so the focused window reads V whatever
/// the layout. The session starts when this is made; the desktop asks the
/// user once per session, and where the portal keeps permissions (version
/// 2) it is asked to remember the answer. Wayland does not tell which window
/// has the focus: terminals get Ctrl+Shift+V only through the preference.
class PortalPasteKeystrokes : public QObject, public PasteKeystrokes {
    Q_OBJECT
public:
    static constexpr std::int32_t controlKeysym = 0xffe3; // Control_L
    static constexpr std::int32_t shiftKeysym = 0xffe1;   // Shift_L
    static constexpr std::int32_t vKeysym = 0x76;         // v

    PortalPasteKeystrokes(std::shared_ptr<PortalConnection> connection, unsigned version,
                          std::shared_ptr<PreferencesStore> preferences);
    ~PortalPasteKeystrokes() override;

    QString unavailableReason() const override;
    QStringList focusedWindowClass() override { return {}; }
    bool sendPaste(PasteShortcut shortcut) override;
    /// The clipboard answers for itself.
    bool clipboardHasOwner() override { return false; }

    /// Waits until the desktop answered; true when keys may be sent.
    bool waitUntilStarted(std::chrono::milliseconds timeout);
    /// The keysyms a paste sends, with true for a press: Control_L, v, then
    /// their releases (Shift_L inside Control_L for Ctrl+Shift+V).
    static std::vector<std::pair<std::int32_t, bool>> pasteKeysyms(PasteShortcut shortcut);

Q_SIGNALS:
    void startFinished();

private Q_SLOTS:
    void handleClosed(const QDBusMessage &message);

private:
    enum class State { starting, started, refused, ended, failed };
    void createSession();
    void selectDevices();
    void start();
    void finish(State state, const QString &reason = {});
    void sendNextKeysym();

    std::shared_ptr<PortalConnection> m_connection;
    unsigned m_version;
    std::shared_ptr<PreferencesStore> m_preferences;
    State m_state = State::starting;
    QString m_session;
    /// Keys still to send, in order, and whether one is on its way.
    std::deque<std::pair<std::int32_t, bool>> m_keysyms;
    bool m_sending = false;
    QString m_failure;
};

} // namespace Orvinta
