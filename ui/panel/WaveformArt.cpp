#include <OrvintaUi/WaveformArt.h>

#include <QPainter>

#include <array>
#include <cmath>
#include <numbers>

namespace Orvinta::WaveformArt {

namespace {

struct Stroke {
    double x, top, bottom;
};

// The logo on its 24 × 24 grid.
constexpr std::array<Stroke, 6> logoStrokes{
    {{2, 10, 13}, {6, 6, 17}, {10, 3, 21}, {14, 8, 15}, {18, 5, 18}, {22, 10, 13}}};
constexpr double logoGrid = 24;
constexpr double logoStroke = 2;

// The frames on their 18 × 18 grid: the logo scaled by 0.75.
constexpr std::array<double, 6> frameX{1.5, 4.5, 7.5, 10.5, 13.5, 16.5};
constexpr std::array<double, 6> frameHalfHeight{1.125, 4.125, 6.75, 2.625, 4.875, 1.125};
constexpr double frameGrid = 18;
constexpr double frameStroke = 1.5;

QRectF capsule(double x, double top, double bottom, double width) {
    return {x - width / 2, top - width / 2, width, bottom - top + width};
}

QString number(double value) {
    return QString::number(value, 'g', 6);
}

} // namespace

Drawing drawing(int frame) {
    Drawing d;
    if (frame < 0) {
        d.grid = logoGrid;
        for (const Stroke &s : logoStrokes)
            d.bars << capsule(s.x, s.top, s.bottom, logoStroke);
        return d;
    }
    d.grid = frameGrid;
    for (int i = 0; i < 6; ++i) {
        const double scale =
            (std::sin(2 * std::numbers::pi * frame / frameCount + i) + 1) * 0.65 * 0.5 + 0.35;
        const double h = frameHalfHeight[i] * scale;
        d.bars << capsule(frameX[i], frameGrid / 2 - h, frameGrid / 2 + h, frameStroke);
    }
    return d;
}

QImage image(int frame, int size, const QColor &color) {
    if (size <= 0)
        return {};
    QImage image(QSize(size, size), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const Drawing d = drawing(frame);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / d.grid, size / d.grid);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    for (const QRectF &bar : d.bars)
        painter.drawRoundedRect(bar, bar.width() / 2, bar.width() / 2);
    return image;
}

int frameIndex(int menuBarIconFrame) {
    return ((menuBarIconFrame % frameCount) + frameCount) % frameCount;
}

QString symbolicIconName(int frame) {
    return frame < 0 ? QStringLiteral("orvinta-tray-symbolic")
                     : QStringLiteral("orvinta-tray-frame-%1-symbolic").arg(frame);
}

QByteArray symbolicIconSvg(int frame) {
    const Drawing d = drawing(frame);
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" "
                                 "height=\"16\" viewBox=\"0 0 %1 %1\">\n"
                                 "<style>.ColorScheme-Text { color: #2e3436; }</style>\n"
                                 "<g class=\"ColorScheme-Text\" fill=\"currentColor\">\n")
                      .arg(number(d.grid));
    for (const QRectF &bar : d.bars)
        svg += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\"/>\n")
                   .arg(number(bar.x()), number(bar.y()), number(bar.width()), number(bar.height()),
                        number(bar.width() / 2));
    svg += QStringLiteral("</g>\n</svg>\n");
    return svg.toUtf8();
}

} // namespace Orvinta::WaveformArt
