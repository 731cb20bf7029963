#pragma once

#include "X11Connection.h"

#include <OrvintaInput/PasteKeystrokes.h>

namespace Orvinta {

/// The paste keystroke through XTest on our own X connection, and the
/// focused window's WM_CLASS. "Trusted" on X11 means the server offers XTest.
class X11PasteKeystrokes : public PasteKeystrokes {
public:
    X11PasteKeystrokes(std::shared_ptr<X11Connection> connection, QString unavailableReason);

    QString unavailableReason() const override { return m_unavailable; }
    QStringList focusedWindowClass() override;
    /// Through XWayland, XTest's keys reach X11 apps only: the compositor
    /// names no active X11 window while a Wayland app has the focus.
    QString focusUnreachable() override;
    bool sendPaste(PasteShortcut shortcut) override;
    bool clipboardHasOwner() override;

private:
    std::shared_ptr<X11Connection> m_connection;
    QString m_unavailable;
};

} // namespace Orvinta
