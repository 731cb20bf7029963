#pragma once

#include "PortalConnection.h"
#include "PortalShortcutState.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <vector>

class QDBusMessage;

namespace Orvinta {

/// One GlobalShortcuts portal session: the shortcuts it binds (all of them
/// at each change, once the event loop turns) and what its Activated and
/// Deactivated signals mean. The first change creates the session.
class GlobalShortcutsPortal : public QObject {
    Q_OBJECT
public:
    struct Shortcut {
        QString id;
        QString description;
        /// In the portal's format ("CTRL+ALT+s").
        QString trigger;
        friend bool operator==(const Shortcut &, const Shortcut &) = default;
    };
    /// What the desktop bound a shortcut to, in its own words; empty when
    /// the user has yet to assign one.
    struct Bound {
        QString id;
        QString description;
        QString trigger;
    };

    /// The id of the hold key's shortcut.
    static inline const QString holdKeyId = QStringLiteral("hold-key");
    /// The longest a hold lasts when the key's release never arrives.
    static constexpr std::chrono::seconds maximumHold{60};

    explicit GlobalShortcutsPortal(std::shared_ptr<PortalConnection> connection,
                                   QObject *parent = nullptr);
    ~GlobalShortcutsPortal() override;

    /// Empty until the portal refused the session or the binding.
    QString unavailableReason() const { return m_unavailable; }
    /// Adds or changes a shortcut; a change binds the whole set again.
    void setShortcut(const Shortcut &shortcut);
    QString sessionHandle() const { return m_state.session(); }
    /// The desktop's answer to the latest binding.
    const std::vector<Bound> &bound() const { return m_bound; }
    /// Ends a hold without holdChanged (the hold-key monitor stopped).
    void forgetHold();

Q_SIGNALS:
    void pressed(const QString &id);
    void holdChanged(bool held);
    /// The desktop answered a binding or changed a trigger.
    void boundChanged();

private Q_SLOTS:
    void handleActivated(const QDBusMessage &message);
    void handleDeactivated(const QDBusMessage &message);
    void handleShortcutsChanged(const QDBusMessage &message);
    void handleClosed(const QDBusMessage &message);

private:
    void createSession();
    void bindNow();
    void takeBound(const QVariant &shortcuts);
    void apply(PortalShortcutState::Effect effect, const QString &id);
    void fail(const QString &reason);

    std::shared_ptr<PortalConnection> m_connection;
    PortalShortcutState m_state{holdKeyId, maximumHold};
    std::vector<Shortcut> m_wanted;
    std::vector<Shortcut> m_sent;
    std::vector<Bound> m_bound;
    bool m_creating = false;
    bool m_binding = false;
    QString m_unavailable;
    QTimer m_bindTimer;
    QTimer m_holdTimer;
};

/// "Ctrl+Alt+S" and "CTRL+ALT+s" name the same keys: compares the
/// modifier names and the key whatever the case, order and spelling.
bool sameTrigger(const QString &asked, const QString &bound);

/// Where the user changes what the desktop bound.
QString shortcutSettingsPlace();

} // namespace Orvinta
