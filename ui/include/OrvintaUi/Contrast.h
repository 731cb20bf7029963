#pragma once

#include <QColor>

namespace Orvinta {

/// WCAG 2 contrast arithmetic, for colours that may be translucent: a
/// translucent colour is judged over what the desktop may show behind the
/// window, a white and a black page, since Orvinta cannot see it.
namespace Contrast {

/// Confirmed captions; every other text.
constexpr double captionRatio = 7.0;
constexpr double textRatio = 4.5;

/// WCAG relative luminance of the colour's red, green and blue (alpha ignored).
double relativeLuminance(const QColor &color);
/// `top` laid over `below` (source-over, in sRGB as the compositor blends);
/// opaque when `below` is.
QColor over(const QColor &top, const QColor &below);
/// The contrast of `text` on `background` (each may be translucent) laid
/// over white and over black: the lower of the two, from 1 to 21.
double worstRatio(const QColor &text, const QColor &background);
/// The smallest alpha of `background` that keeps `text` at `ratio` over
/// white and over black; 1 when even an opaque background does not.
double leastBackgroundAlpha(const QColor &text, const QColor &background, double ratio);
/// `wanted`, or the nearest colour towards black or white (whichever gets
/// there first) that reaches `ratio` on the opaque `background`.
QColor readable(const QColor &wanted, const QColor &background, double ratio);
/// `text` at `alpha` for emphasis, raised as far as `background` needs for
/// `ratio` (over white and black where `background` is translucent).
QColor emphasis(const QColor &text, double alpha, const QColor &background, double ratio);

} // namespace Contrast

/// WCAG 2 contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);

} // namespace Orvinta
