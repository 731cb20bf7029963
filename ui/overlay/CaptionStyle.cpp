#include <OrvintaUi/CaptionStyle.h>

#include <OrvintaUi/Contrast.h>
#include <OrvintaUi/UiTheme.h>

#include <QFont>
#include <QGuiApplication>

#include <algorithm>

namespace Orvinta {

namespace {
// Aimed a little above the thresholds, so that 8-bit channels and
// antialiased edges still measure at them.
constexpr double margin = 1.04;
constexpr double captionTarget = Contrast::captionRatio * margin;
constexpr double textTarget = Contrast::textRatio * margin;
constexpr double symbolRatio = 3.0;
constexpr double interimEmphasis = 0.85;
constexpr double secondaryEmphasis = 0.72;
constexpr int speakerSteps = 20;
// Text.Normal, Text.Outline and Text.Raised.
constexpr int plainText = 0, outlinedText = 1, raisedText = 2;

/// `hue` mixed towards the caption text, which is legible on `backdrop`,
/// as far as `backdrop` (over white and black) needs for `ratio`.
QColor speakerColor(const QColor &hue, const QColor &text, const QColor &backdrop, double ratio) {
    for (int step = 0; step < speakerSteps; ++step) {
        const double t = double(step) / speakerSteps;
        const QColor mixed =
            QColor::fromRgbF(float(hue.redF() + (text.redF() - hue.redF()) * t),
                             float(hue.greenF() + (text.greenF() - hue.greenF()) * t),
                             float(hue.blueF() + (text.blueF() - hue.blueF()) * t));
        if (Contrast::worstRatio(mixed, backdrop) >= ratio)
            return mixed;
    }
    return QColor(text.rgb());
}

} // namespace

CaptionStyle::Colors CaptionStyle::derive(const QColor &chosenText, const QColor &background,
                                          double backgroundOpacity, const QColor &accent,
                                          const QColor &window, double windowOpacity) {
    Colors c;
    const QColor ground(background.rgb());
    c.text = Contrast::readable(QColor(chosenText.rgb()), ground, captionTarget);
    c.leastBackgroundOpacity = Contrast::leastBackgroundAlpha(c.text, ground, captionTarget);
    c.backdrop = ground;
    c.backdrop.setAlphaF(float(std::clamp(backgroundOpacity, c.leastBackgroundOpacity, 1.0)));
    c.interim = Contrast::emphasis(c.text, interimEmphasis, c.backdrop, textTarget);
    c.secondary = Contrast::emphasis(c.text, secondaryEmphasis, c.backdrop, textTarget);
    c.edge = ground;
    c.accent = Contrast::readable(accent, ground, symbolRatio);
    c.red = Contrast::readable(QColor(0xff, 0x3b, 0x30), ground, symbolRatio);
    c.green = Contrast::readable(QColor(0x30, 0xd1, 0x58), ground, symbolRatio);
    // Light hues on a dark ground, deep ones on a light ground.
    const bool darkGround = contrastRatio(ground, Qt::black) < contrastRatio(ground, Qt::white);
    c.microphoneSpeaker =
        speakerColor(darkGround ? QColor(0xa6, 0xd4, 0xff) : QColor(0x0a, 0x4c, 0x99), c.text,
                     c.backdrop, textTarget);
    c.computerSpeaker =
        speakerColor(darkGround ? QColor(0xff, 0xc5, 0x7a) : QColor(0x7a, 0x3d, 0x00), c.text,
                     c.backdrop, textTarget);
    c.mark = ground;
    c.markBackground = c.text;
    c.chrome = QColor(window.rgb());
    c.chrome.setAlphaF(float(std::clamp(windowOpacity, 0.0, 1.0)));
    return c;
}

CaptionStyle::CaptionStyle(OverlaySettings &settings, UiTheme &theme, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_theme(&theme) {
    update();
    for (auto signal : {&OverlaySettings::captionStyleChanged, &OverlaySettings::opacityChanged,
                        &OverlaySettings::fontSizeChanged})
        connect(&settings, signal, this, &CaptionStyle::update);
    connect(m_theme, &UiTheme::colorsChanged, this, &CaptionStyle::update);
    connect(m_theme, &UiTheme::highContrastChanged, this, &CaptionStyle::update);
}

OverlaySettings::Preset CaptionStyle::effectivePreset() const {
    const OverlaySettings::Preset chosen = m_settings.preset();
    return chosen == OverlaySettings::Preset::Default && m_theme && m_theme->highContrast()
               ? OverlaySettings::Preset::HighContrast
               : chosen;
}

int CaptionStyle::textStyle() const {
    switch (m_settings.edgeStyle()) {
    case OverlaySettings::EdgeStyle::Outline:
        return outlinedText;
    case OverlaySettings::EdgeStyle::DropShadow:
        return raisedText;
    case OverlaySettings::EdgeStyle::NoEdge:
        break;
    }
    return plainText;
}

QString CaptionStyle::fontFamily() const {
    return m_settings.fontFamily().isEmpty() ? QGuiApplication::font().family()
                                             : m_settings.fontFamily();
}

void CaptionStyle::update() {
    const UiTheme::Colors &theme = m_theme->colors();
    auto [text, background] = effectivePreset() == OverlaySettings::Preset::HighContrast
                                  ? OverlaySettings::presetColors(effectivePreset())
                                  : std::pair{m_settings.textColor(), m_settings.backgroundColor()};
    if (!text.isValid())
        text = theme.text;
    if (!background.isValid())
        background = theme.window;
    m_colors = derive(text, background, m_settings.backgroundOpacity(), theme.accent, theme.window,
                      m_settings.opacity());
    Q_EMIT changed();
}

} // namespace Orvinta
