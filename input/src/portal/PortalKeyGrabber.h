#pragma once

#include "GlobalShortcutsPortal.h"

#include <OrvintaInput/KeyGrabber.h>

#include <set>

namespace Orvinta {

/// The four shortcuts through a GlobalShortcuts portal session: a grab asks
/// the desktop to bind the combination (the desktop has the last word, and
/// says what it bound), each Activated is one press. An ungrab only mutes
/// the shortcut: binding again can make the desktop ask the user again.
class PortalKeyGrabber : public QObject, public KeyGrabber {
    Q_OBJECT
public:
    explicit PortalKeyGrabber(std::shared_ptr<GlobalShortcutsPortal> portal);

    QString unavailableReason() const override { return m_portal->unavailableReason(); }
    int grab(std::uint32_t id, const KeyCombo &combo) override;
    void ungrab(std::uint32_t id) override { m_live.erase(id); }

    /// The portal's name of a shortcut ("toggle-recording"); empty for an unknown id.
    static QString shortcutId(std::uint32_t id);

private:
    std::shared_ptr<GlobalShortcutsPortal> m_portal;
    std::set<std::uint32_t> m_live;
};

} // namespace Orvinta
