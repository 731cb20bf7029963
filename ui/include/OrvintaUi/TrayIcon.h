#pragma once

#include <OrvintaUi/Contrast.h>
#include <OrvintaUi/WaveformArt.h>

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <optional>

namespace Orvinta {

class AppState;

/// The tray icon's colour on a panel of `background`: the light or the
/// dark grey of symbolic icons, whichever contrasts more (never under 3:1).
QColor trayIconColor(const QColor &background);
/// The panel's colour from a picture of the icon's place on screen: the
/// median of its outermost pixels, which the drawing keeps off; none for a
/// picture too small to hold a drawing.
std::optional<QColor> trayBackground(const QImage &iconPlace);

/// Where the panel opens: next to `anchor` (the tray icon, or the pointer
/// when the tray tells no position), below it in the upper half of the
/// screen and above it in the lower half, centred on it and kept inside
/// `available`.
QPoint panelPosition(const QRect &anchor, const QSize &panel, const QRect &available);

/// The tray icon: the logo, or the animation frame while listening or
/// dictating (one still frame under reduced motion). Left and right clicks
/// both ask for the panel.
///
/// Tray hosts that draw icons themselves (StatusNotifierItem) get the
/// drawings' symbolic icon names and recolour them. Trays that show the
/// icon's own pixels (XEmbed) get it in the colour that stands out from
/// their panel, read from the screen around the icon each time it is
/// embedded, the icon is clicked or the palette changes; where the panel
/// cannot be read, the colour stands out from the palette's window colour.
class TrayController : public QObject {
    Q_OBJECT
public:
    explicit TrayController(AppState &state, QObject *parent = nullptr);
    ~TrayController() override;

    void show();
    bool isVisible() const;
    /// The frame on show (0 to 11), or -1 for the logo.
    int shownFrame() const { return m_shownFrame; }
    /// Where the icon sits on the screen; empty when the tray does not say.
    QRect iconGeometry() const;
    QSystemTrayIcon &trayIcon() { return *m_tray; }
    QColor iconColor() const { return m_color; }
    void setReducedMotion(bool reduced);

Q_SIGNALS:
    /// A click on the icon; `anchor` is where the panel should open.
    void panelRequested(const QRect &anchor);
    void iconColorChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateIcon();
    /// Picks the colour for the panel under the icon, or the palette's.
    void followPanel();

    AppState &m_state;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QColor m_color;
    int m_shownFrame = -2;
    QTimer m_panelReading;
    QTimer m_settling;
    QRect m_panelReadAt;
    int m_settleChecks = 0;
    bool m_readPanelOnPaint = false;
    bool m_reducedMotion = false;
};

} // namespace Orvinta
