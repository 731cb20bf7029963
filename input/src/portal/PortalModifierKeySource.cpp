#include "PortalModifierKeySource.h"

namespace Orvinta {

PortalModifierKeySource::PortalModifierKeySource(std::shared_ptr<GlobalShortcutsPortal> portal)
    : m_portal(std::move(portal)) {
    connect(m_portal.get(), &GlobalShortcutsPortal::holdChanged, this, [this](bool held) {
        if (m_running)
            reportFlags(held ? holdKeyFlag : 0);
    });
}

bool PortalModifierKeySource::start(const QString &holdKey, QString *error) {
    QString reason = m_portal->unavailableReason();
    if (reason.isEmpty() && !isKnownKeysym(holdKey))
        reason = QStringLiteral("\"%1\" is not an X keysym name").arg(holdKey);
    if (!reason.isEmpty()) {
        if (error)
            *error = reason;
        return false;
    }
    stop();
    // The keysym name alone is a trigger in the portal's format.
    m_portal->setShortcut({GlobalShortcutsPortal::holdKeyId, description, holdKey});
    m_running = true;
    return true;
}

void PortalModifierKeySource::stop() {
    m_running = false;
    m_portal->forgetHold();
}

} // namespace Orvinta
