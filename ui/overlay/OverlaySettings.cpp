#include <OrvintaUi/OverlaySettings.h>

#include <OrvintaApp/Observable.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QMetaEnum>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

namespace Orvinta {

namespace {
namespace Key {
const QString opacity = QStringLiteral("overlay.opacity");
const QString autoHideEnabled = QStringLiteral("overlay.autoHideEnabled");
const QString autoHideDelay = QStringLiteral("overlay.autoHideDelay");
const QString fontSize = QStringLiteral("overlay.fontSize");
const QString pinned = QStringLiteral("overlay.pinned");
const QString readAloud = QStringLiteral("overlay.readNewCaptionsAloud");
const QString fontFamily = QStringLiteral("overlay.fontFamily");
const QString preset = QStringLiteral("overlay.captionPreset");
const QString textColor = QStringLiteral("overlay.textColor");
const QString backgroundColor = QStringLiteral("overlay.backgroundColor");
const QString backgroundOpacity = QStringLiteral("overlay.backgroundOpacity");
const QString edgeStyle = QStringLiteral("overlay.edgeStyle");
const QString compact = QStringLiteral("overlay.compact");
const QString placement = QStringLiteral("overlay.placement");
} // namespace Key

/// Enumerations are stored by their names; a name no value has is the default.
template <typename Enum> QString nameOf(Enum value) {
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(int(value)));
}
template <typename Enum>
Enum storedEnum(const PreferencesStore &store, const QString &key, Enum fallback) {
    const std::optional<QString> name = store.stringValue(key);
    bool ok = false;
    const int value =
        name ? QMetaEnum::fromType<Enum>().keyToValue(name->toLatin1().constData(), &ok) : 0;
    return ok ? Enum(value) : fallback;
}

/// "" stands for the windows' colour; so does anything that is no colour.
QColor storedColor(const PreferencesStore &store, const QString &key) {
    const QColor color = QColor::fromString(store.stringValue(key).value_or(QString()));
    return color.isValid() ? QColor(color.rgb()) : QColor();
}
QString colorName(const QColor &color) {
    return color.isValid() ? color.name() : QString();
}

/// A value the overlay can draw: finite, and not negative where a size or a
/// duration is meant.
double usable(double value, double fallback, bool allowNegative) {
    if (!std::isfinite(value) || (!allowNegative && value < 0))
        return fallback;
    return value;
}

/// Within the settings slider's range: a huge size draws only empty boxes.
/// Nothing to draw (not finite, zero or less) is the default.
double drawableFontSize(double points) {
    if (!std::isfinite(points) || points <= 0)
        return OverlaySettings::defaultFontSize;
    return std::clamp(points, OverlaySettings::minimumFontSize, OverlaySettings::maximumFontSize);
}
} // namespace

const QString OverlaySettings::frameKey = QStringLiteral("OrvintaOverlay");

OverlaySettings::OverlaySettings(std::shared_ptr<PreferencesStore> store, QObject *parent)
    : QObject(parent)
    , m_store(std::move(store)) {
    if (!m_store)
        return;
    m_store->registerDefaults({{Key::opacity, defaultOpacity},
                               {Key::autoHideEnabled, defaultAutoHideEnabled},
                               {Key::autoHideDelay, defaultAutoHideDelay},
                               {Key::fontSize, defaultFontSize},
                               {Key::pinned, defaultPinned},
                               {Key::backgroundOpacity, defaultBackgroundOpacity},
                               {Key::compact, false}});
    // Opacity below zero draws nothing, like zero; only a missing number falls back.
    m_opacity = usable(m_store->doubleValue(Key::opacity), defaultOpacity, true);
    m_autoHideEnabled = m_store->boolValue(Key::autoHideEnabled);
    m_autoHideDelay = usable(m_store->doubleValue(Key::autoHideDelay), defaultAutoHideDelay, false);
    m_fontSize = drawableFontSize(m_store->doubleValue(Key::fontSize));
    m_pinned = m_store->boolValue(Key::pinned);
    m_readAloud = m_store->boolValue(Key::readAloud);
    m_fontFamily = m_store->stringValue(Key::fontFamily).value_or(QString());
    m_preset = storedEnum(*m_store, Key::preset, Preset::Default);
    m_textColor = storedColor(*m_store, Key::textColor);
    m_backgroundColor = storedColor(*m_store, Key::backgroundColor);
    if (m_preset != Preset::Custom)
        std::tie(m_textColor, m_backgroundColor) = presetColors(m_preset);
    m_backgroundOpacity = std::clamp(
        usable(m_store->doubleValue(Key::backgroundOpacity), defaultBackgroundOpacity, false), 0.0,
        1.0);
    m_edgeStyle = storedEnum(*m_store, Key::edgeStyle, EdgeStyle::NoEdge);
    m_compact = m_store->boolValue(Key::compact);
    m_placement = storedEnum(*m_store, Key::placement, Placement::Floating);
}

std::pair<QColor, QColor> OverlaySettings::presetColors(Preset preset) {
    switch (preset) {
    case Preset::HighContrast:
        return {QColor(0xff, 0xff, 0x00), QColor(Qt::black)};
    case Preset::WhiteOnBlack:
        return {QColor(Qt::white), QColor(Qt::black)};
    case Preset::BlackOnWhite:
        return {QColor(Qt::black), QColor(Qt::white)};
    case Preset::Default:
    case Preset::Custom:
        break;
    }
    return {};
}

void OverlaySettings::assignDouble(double &field, double value, double fallback, bool allowNegative,
                                   const QString &key, void (OverlaySettings::*changed)()) {
    value = usable(value, fallback, allowNegative);
    if (m_store)
        m_store->setDouble(key, value);
    assignNotifying(this, field, value, changed);
}

void OverlaySettings::assignBool(bool &field, bool value, const QString &key,
                                 void (OverlaySettings::*changed)()) {
    if (m_store)
        m_store->setBool(key, value);
    assignNotifying(this, field, value, changed);
}

void OverlaySettings::setOpacity(double opacity) {
    assignDouble(m_opacity, opacity, defaultOpacity, true, Key::opacity,
                 &OverlaySettings::opacityChanged);
}

void OverlaySettings::setReadAloud(bool enabled) {
    assignBool(m_readAloud, enabled, Key::readAloud, &OverlaySettings::readAloudChanged);
}

void OverlaySettings::setAutoHideEnabled(bool enabled) {
    assignBool(m_autoHideEnabled, enabled, Key::autoHideEnabled,
               &OverlaySettings::autoHideEnabledChanged);
}

void OverlaySettings::setAutoHideDelay(double seconds) {
    assignDouble(m_autoHideDelay, seconds, defaultAutoHideDelay, false, Key::autoHideDelay,
                 &OverlaySettings::autoHideDelayChanged);
}

void OverlaySettings::setFontSize(double points) {
    assignDouble(m_fontSize, drawableFontSize(points), defaultFontSize, false, Key::fontSize,
                 &OverlaySettings::fontSizeChanged);
}

void OverlaySettings::setPinned(bool pinned) {
    assignBool(m_pinned, pinned, Key::pinned, &OverlaySettings::pinnedChanged);
}

void OverlaySettings::setFontFamily(const QString &family) {
    if (m_store)
        m_store->setString(Key::fontFamily, family);
    assignNotifying(this, m_fontFamily, family, &OverlaySettings::captionStyleChanged);
}

void OverlaySettings::storeColors() {
    if (!m_store)
        return;
    m_store->setString(Key::preset, nameOf(m_preset));
    m_store->setString(Key::textColor, colorName(m_textColor));
    m_store->setString(Key::backgroundColor, colorName(m_backgroundColor));
}

void OverlaySettings::setPreset(Preset preset) {
    const auto [text, background] =
        preset == Preset::Custom ? std::pair{m_textColor, m_backgroundColor} : presetColors(preset);
    const bool changed =
        preset != m_preset || text != m_textColor || background != m_backgroundColor;
    m_preset = preset;
    m_textColor = text;
    m_backgroundColor = background;
    storeColors();
    if (changed)
        Q_EMIT captionStyleChanged();
}

void OverlaySettings::setTextColor(const QColor &color) {
    const QColor opaque = color.isValid() ? QColor(color.rgb()) : QColor();
    const bool changed = m_preset != Preset::Custom || opaque != m_textColor;
    m_preset = Preset::Custom;
    m_textColor = opaque;
    storeColors();
    if (changed)
        Q_EMIT captionStyleChanged();
}

void OverlaySettings::setBackgroundColor(const QColor &color) {
    const QColor opaque = color.isValid() ? QColor(color.rgb()) : QColor();
    const bool changed = m_preset != Preset::Custom || opaque != m_backgroundColor;
    m_preset = Preset::Custom;
    m_backgroundColor = opaque;
    storeColors();
    if (changed)
        Q_EMIT captionStyleChanged();
}

void OverlaySettings::setBackgroundOpacity(double opacity) {
    opacity = std::clamp(usable(opacity, defaultBackgroundOpacity, false), 0.0, 1.0);
    if (m_store)
        m_store->setDouble(Key::backgroundOpacity, opacity);
    assignNotifying(this, m_backgroundOpacity, opacity, &OverlaySettings::captionStyleChanged);
}

void OverlaySettings::setEdgeStyle(EdgeStyle style) {
    if (m_store)
        m_store->setString(Key::edgeStyle, nameOf(style));
    assignNotifying(this, m_edgeStyle, style, &OverlaySettings::captionStyleChanged);
}

void OverlaySettings::setCompact(bool compact) {
    assignBool(m_compact, compact, Key::compact, &OverlaySettings::compactChanged);
}

void OverlaySettings::setPlacement(Placement placement) {
    if (m_store)
        m_store->setString(Key::placement, nameOf(placement));
    assignNotifying(this, m_placement, placement, &OverlaySettings::placementChanged);
}

std::optional<QRect> OverlaySettings::savedFrame() const {
    if (!m_store)
        return std::nullopt;
    const std::optional<QString> saved = m_store->stringValue(frameKey);
    if (!saved)
        return std::nullopt;
    const QStringList parts = saved->simplified().split(QLatin1Char(' '));
    if (parts.size() != 4)
        return std::nullopt;
    qint64 values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    // A QRect holds its edges, not its size: both must be coordinates.
    constexpr qint64 largest = std::numeric_limits<int>::max();
    if (values[0] + values[2] > largest || values[1] + values[3] > largest)
        return std::nullopt;
    return QRect(int(values[0]), int(values[1]), int(values[2]), int(values[3]));
}

void OverlaySettings::saveFrame(const QRect &frame) {
    if (m_store)
        m_store->setString(frameKey, QStringLiteral("%1 %2 %3 %4")
                                         .arg(frame.x())
                                         .arg(frame.y())
                                         .arg(frame.width())
                                         .arg(frame.height()));
}

} // namespace Orvinta
