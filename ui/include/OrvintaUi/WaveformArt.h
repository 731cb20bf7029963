#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>

/// The application's drawings: the six-bar waveform logo and the twelve
/// frames of the animated tray icon, as pictures and as the symbolic icons
/// of the hicolor theme that tray hosts recolour for their panel.
namespace Orvinta::WaveformArt {

/// Frames of the animated icon.
inline constexpr int frameCount = 12;
/// Where the symbolic icons are installed, under the prefix's share/icons.
inline constexpr char symbolicIconFolder[] = "hicolor/scalable/status";

/// A drawing: its bars as rounded rectangles (round-capped strokes) on a
/// square grid of `grid` units.
struct Drawing {
    double grid = 0;
    QList<QRectF> bars;
};
/// The logo for `frame` -1 (a 24-unit grid), else frame `frame` (0 to 11, an 18-unit grid).
Drawing drawing(int frame);

/// The drawing at `size` × `size` pixels in `color`; empty for a size of zero or less.
QImage image(int frame, int size, const QColor &color);
/// The logo at `height` pixels, as wide as the drawing's aspect ratio asks (square).
inline QImage logoImage(int height, const QColor &color) {
    return image(-1, height, color);
}
/// Frame `k` (0 to 11) at `size` × `size` pixels.
inline QImage frameImage(int k, int size, const QColor &color) {
    return image(k, size, color);
}
/// Which frame a tray icon shows for the state's animation counter.
int frameIndex(int menuBarIconFrame);

/// The drawing's name as a symbolic icon ("orvinta-tray-symbolic",
/// "orvinta-tray-frame-3-symbolic").
QString symbolicIconName(int frame);
/// That icon's SVG: filled shapes in the theme's text colour, which GTK
/// hosts replace by their foreground and KDE hosts set through the
/// ColorScheme-Text class.
QByteArray symbolicIconSvg(int frame);

} // namespace Orvinta::WaveformArt
