#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QSystemTrayIcon>

#include <array>
#include <memory>

namespace Orvinta {

class AppState;

/// The application's drawings: the six-bar waveform logo and the twelve
/// frames of the animated tray icon.
namespace WaveformArt {
/// Frames of the animated icon.
inline constexpr int frameCount = 12;
/// The logo at `height` pixels, as wide as the drawing's aspect ratio asks
/// (square); an empty image for a height of zero or less.
QImage logoImage(int height, const QColor &color);
/// Frame `k` (0 to 11) at `size` × `size` pixels.
QImage frameImage(int k, int size, const QColor &color);
/// Which frame a tray icon shows for the state's animation counter.
int frameIndex(int menuBarIconFrame);
/// The logo as an SVG document (the application icon).
QByteArray logoSvg(const QColor &color);
} // namespace WaveformArt

/// Where the panel opens: next to `anchor` (the tray icon, or the pointer
/// when the tray tells no position), below it in the upper half of the
/// screen and above it in the lower half, centred on it and kept inside
/// `available`.
QPoint panelPosition(const QRect &anchor, const QSize &panel, const QRect &available);

/// The tray icon: the logo, or the animation frame while listening or
/// dictating. Left and right clicks both ask for the panel.
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

Q_SIGNALS:
    /// A click on the icon; `anchor` is where the panel should open.
    void panelRequested(const QRect &anchor);

private:
    void updateIcon();
    void renderIcons();

    AppState &m_state;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    QIcon m_logo;
    std::array<QIcon, WaveformArt::frameCount> m_frames;
    int m_shownFrame = -2;
};

} // namespace Orvinta
