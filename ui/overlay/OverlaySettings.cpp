#include <OrvintaUi/OverlaySettings.h>

#include <OrvintaApp/Observable.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace Orvinta {

namespace {
namespace Key {
const QString opacity = QStringLiteral("overlay.opacity");
const QString autoHideEnabled = QStringLiteral("overlay.autoHideEnabled");
const QString autoHideDelay = QStringLiteral("overlay.autoHideDelay");
const QString fontSize = QStringLiteral("overlay.fontSize");
const QString pinned = QStringLiteral("overlay.pinned");
const QString readAloud = QStringLiteral("overlay.readNewCaptionsAloud");
} // namespace Key

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
                               {Key::pinned, defaultPinned}});
    // Opacity below zero draws nothing, like zero; only a missing number falls back.
    m_opacity = usable(m_store->doubleValue(Key::opacity), defaultOpacity, true);
    m_autoHideEnabled = m_store->boolValue(Key::autoHideEnabled);
    m_autoHideDelay = usable(m_store->doubleValue(Key::autoHideDelay), defaultAutoHideDelay, false);
    m_fontSize = drawableFontSize(m_store->doubleValue(Key::fontSize));
    m_pinned = m_store->boolValue(Key::pinned);
    m_readAloud = m_store->boolValue(Key::readAloud);
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
