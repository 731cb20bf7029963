#pragma once

#include <OrvintaApp/AppServices.h>

#include <QString>

namespace Orvinta {

/// Launch at login through an XDG autostart entry, orvinta.desktop in the
/// autostart folder of the XDG config home.
class XdgAutostart : public LoginItems {
public:
    /// `configHome` replaces the XDG config home (tests); `command` is what
    /// the entry starts.
    explicit XdgAutostart(QString configHome = {}, QString command = {});

    bool isEnabled() const override;
    QString setEnabled(bool enabled) override;
    QString entryPath() const;

private:
    QString m_configHome;
    QString m_command;
};

} // namespace Orvinta
