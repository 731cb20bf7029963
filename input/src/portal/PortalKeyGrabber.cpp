#include "PortalKeyGrabber.h"

#include <OrvintaInput/PortalKeyboard.h>

namespace Orvinta {

PortalKeyGrabber::PortalKeyGrabber(std::shared_ptr<GlobalShortcutsPortal> portal)
    : m_portal(std::move(portal)) {
    connect(m_portal.get(), &GlobalShortcutsPortal::pressed, this, [this](const QString &name) {
        for (HotkeyAction action : allHotkeyActions) {
            const auto id = static_cast<std::uint32_t>(action);
            if (shortcutId(id) == name && m_live.contains(id))
                reportPress(id);
        }
    });
}

QString PortalKeyGrabber::shortcutId(std::uint32_t id) {
    switch (static_cast<HotkeyAction>(id)) {
    case HotkeyAction::toggleListening:
        return QStringLiteral("toggle-recording");
    case HotkeyAction::toggleAutoCopy:
        return QStringLiteral("toggle-auto-copy");
    case HotkeyAction::toggleAutoPaste:
        return QStringLiteral("toggle-auto-paste");
    case HotkeyAction::toggleOverlay:
        return QStringLiteral("toggle-overlay");
    case HotkeyAction::focusCaptions:
        return QStringLiteral("toggle-focus-captions");
    }
    return {};
}

int PortalKeyGrabber::grab(std::uint32_t id, const KeyCombo &combo) {
    if (!m_portal->unavailableReason().isEmpty())
        return unavailable;
    const QString name = shortcutId(id);
    const QString trigger = portalTrigger(combo);
    if (name.isEmpty() || trigger.isEmpty())
        return noSuchKey;
    m_portal->setShortcut({name, actionLabel(static_cast<HotkeyAction>(id)), trigger});
    m_live.insert(id);
    return 0;
}

} // namespace Orvinta
