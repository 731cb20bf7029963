#pragma once

#include <QList>
#include <QString>

namespace Orvinta {

/// One feature of Orvinta as this desktop offers it.
struct Capability {
    QString feature;
    bool available = true;
    /// How it works here ("X11 key grabs"); empty where nothing provides it.
    QString backend;
    /// Where unavailable: why, and what the user can do about it.
    QString reason;
    QString fix;
};

/// What works on this desktop, probed once at start by the composition root
/// and shown as it was then; one entry per feature, in the order listed.
struct DesktopCapabilities {
    enum class Session { x11, wayland };

    Session session = Session::x11;
    QList<Capability> features;

    bool isWayland() const { return session == Session::wayland; }
    /// An entry that works through `backend` unless `reason` is not empty.
    void add(const QString &feature, const QString &backend, const QString &reason,
             const QString &fix) {
        features.append({feature, reason.isEmpty(), backend, reason, fix});
    }
};

} // namespace Orvinta
