#pragma once

#include "GlobalShortcutsPortal.h"

#include <OrvintaInput/ModifierKeySource.h>

namespace Orvinta {

/// The hold key as a fifth shortcut of a GlobalShortcuts portal session:
/// Activated holds it, Deactivated (or the longest hold) releases it. The
/// portal reports no other modifiers, so none ever cancels a hold.
class PortalModifierKeySource : public QObject, public ModifierKeySource {
    Q_OBJECT
public:
    explicit PortalModifierKeySource(std::shared_ptr<GlobalShortcutsPortal> portal);

    QString unavailableReason() const override { return m_portal->unavailableReason(); }
    bool start(const QString &holdKey, QString *error) override;
    void stop() override;

    /// What the settings window calls the hold key, which the desktop shows.
    static inline const QString description = QStringLiteral("Hold Key");

private:
    std::shared_ptr<GlobalShortcutsPortal> m_portal;
    bool m_running = false;
};

} // namespace Orvinta
