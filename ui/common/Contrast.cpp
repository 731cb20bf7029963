#include <OrvintaUi/Contrast.h>

#include <algorithm>
#include <cmath>

namespace Orvinta {

namespace Contrast {

namespace {
/// Alphas are searched in steps of 1/256, what an 8-bit channel can hold.
constexpr int alphaSteps = 256;
} // namespace

double relativeLuminance(const QColor &color) {
    const auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = color.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF()) +
           0.0722 * linear(rgb.blueF());
}

QColor over(const QColor &top, const QColor &below) {
    const QColor a = top.toRgb();
    const QColor b = below.toRgb();
    const double alpha = a.alphaF() + b.alphaF() * (1 - a.alphaF());
    if (alpha <= 0)
        return QColor(0, 0, 0, 0);
    const auto mix = [&](double x, double y) {
        return (x * a.alphaF() + y * b.alphaF() * (1 - a.alphaF())) / alpha;
    };
    return QColor::fromRgbF(float(mix(a.redF(), b.redF())), float(mix(a.greenF(), b.greenF())),
                            float(mix(a.blueF(), b.blueF())), float(alpha));
}

double worstRatio(const QColor &text, const QColor &background) {
    double worst = 21;
    for (const QColor desktop : {QColor(Qt::white), QColor(Qt::black)}) {
        const QColor ground = over(background, desktop);
        worst = std::min(worst, contrastRatio(over(text, ground), ground));
    }
    return worst;
}

double leastBackgroundAlpha(const QColor &text, const QColor &background, double ratio) {
    // Scanned down from opaque: the first alpha that falls short ends it, so
    // every alpha above the answer holds too.
    QColor candidate = background;
    int least = alphaSteps;
    for (int step = alphaSteps; step >= 0; --step) {
        candidate.setAlphaF(float(step) / alphaSteps);
        if (worstRatio(text, candidate) < ratio)
            break;
        least = step;
    }
    return double(least) / alphaSteps;
}

QColor readable(const QColor &wanted, const QColor &background, double ratio) {
    const QColor from = wanted.toRgb();
    if (contrastRatio(from, background) >= ratio)
        return from;
    const auto towards = [&](const QColor &target, double t) {
        return QColor::fromRgbF(float(from.redF() + (target.redF() - from.redF()) * t),
                                float(from.greenF() + (target.greenF() - from.greenF()) * t),
                                float(from.blueF() + (target.blueF() - from.blueF()) * t));
    };
    // The smaller change keeps more of the wanted hue.
    for (int step = 1; step <= 100; ++step)
        for (const QColor target : {QColor(Qt::black), QColor(Qt::white)})
            if (const QColor mixed = towards(target, step / 100.0);
                contrastRatio(mixed, background) >= ratio)
                return mixed;
    return contrastRatio(Qt::black, background) >= contrastRatio(Qt::white, background)
               ? QColor(Qt::black)
               : QColor(Qt::white);
}

QColor emphasis(const QColor &text, double alpha, const QColor &background, double ratio) {
    QColor result = text.toRgb();
    for (int step = int(std::ceil(alpha * alphaSteps)); step < alphaSteps; ++step) {
        result.setAlphaF(float(step) / alphaSteps);
        if (worstRatio(result, background) >= ratio)
            return result;
    }
    result.setAlpha(255);
    return result;
}

} // namespace Contrast

double contrastRatio(const QColor &a, const QColor &b) {
    const double la = Contrast::relativeLuminance(a);
    const double lb = Contrast::relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace Orvinta
