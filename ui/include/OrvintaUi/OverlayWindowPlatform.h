#pragma once

#include <QRect>
#include <QRegion>

#include <memory>

class QWindow;

namespace Orvinta {

/// What the overlay window needs of the desktop beyond Qt: no task-bar or
/// pager entry, presence on every desktop, blur behind it where the
/// compositor offers it, a strip of the screen kept for it while docked, and
/// handing the keyboard focus back. One
/// implementation per windowing system; the default one does nothing.
class OverlayWindowPlatform {
public:
    virtual ~OverlayWindowPlatform() = default;
    /// Before the window is first mapped.
    virtual void prepare(QWindow &window) { (void)window; }
    /// After every show: a window manager may have reset the states.
    virtual void shown(QWindow &window) { (void)window; }
    virtual bool blurAvailable() const { return false; }
    /// Blurs what lies behind `region` (window coordinates); an empty region
    /// blurs nothing.
    virtual void setBlurRegion(QWindow &window, const QRegion &region) {
        (void)window, (void)region;
    }
    /// Keeps `strip` (screen coordinates, along the top or bottom edge of
    /// `screen`) for the window: maximised windows leave it free. An empty
    /// strip gives it back.
    virtual void reserveStrip(QWindow &window, const QRect &screen, const QRect &strip) {
        (void)window, (void)screen, (void)strip;
    }
    /// Notes which window has the keyboard focus now ...
    virtual void rememberFocus() {}
    /// ... gives it to `window`, which asked to be activated: a request
    /// stamped with the application's last event is ignored when the focus
    /// moved since, as it does when it was just given back ...
    virtual void takeFocus(QWindow &window) { (void)window; }
    /// ... and gives it back, if that window is still shown.
    virtual void restoreFocus() {}
};

} // namespace Orvinta
