#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>

namespace Orvinta {

class PreferencesStore;

/// The overlay's look and window behaviour, stored under the overlay.* keys.
/// Every assignment writes the store (even of an equal value); observers hear
/// only of real changes. The font size is kept within its slider's range;
/// other values outside the sliders' ranges are kept as they are; only values
/// nothing can draw (not finite, a font size or delay below zero) fall back to
/// the default.
class OverlaySettings : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("One OverlaySettings exists for the whole run")
    Q_PROPERTY(double opacity READ opacity WRITE setOpacity NOTIFY opacityChanged)
    Q_PROPERTY(bool autoHideEnabled READ autoHideEnabled WRITE setAutoHideEnabled NOTIFY
                   autoHideEnabledChanged)
    Q_PROPERTY(
        double autoHideDelay READ autoHideDelay WRITE setAutoHideDelay NOTIFY autoHideDelayChanged)
    Q_PROPERTY(double fontSize READ fontSize WRITE setFontSize NOTIFY fontSizeChanged)
    Q_PROPERTY(bool pinned READ pinned WRITE setPinned NOTIFY pinnedChanged)
    /// "Read new captions aloud": each confirmed line goes to the screen reader.
    Q_PROPERTY(bool readAloud READ readAloud WRITE setReadAloud NOTIFY readAloudChanged)

public:
    static constexpr double defaultOpacity = 0.6;
    static constexpr bool defaultAutoHideEnabled = false;
    static constexpr double defaultAutoHideDelay = 5.0;
    static constexpr double defaultFontSize = 15.0;
    /// The font size slider's range (AppearanceTab.qml).
    static constexpr double minimumFontSize = 10.0;
    static constexpr double maximumFontSize = 24.0;
    static constexpr bool defaultPinned = true;
    /// The settings key of the overlay window's frame.
    static const QString frameKey;

    /// Registers the defaults with the store, then reads every field from it.
    explicit OverlaySettings(std::shared_ptr<PreferencesStore> store, QObject *parent = nullptr);

    double opacity() const { return m_opacity; }
    bool autoHideEnabled() const { return m_autoHideEnabled; }
    double autoHideDelay() const { return m_autoHideDelay; }
    double fontSize() const { return m_fontSize; }
    bool pinned() const { return m_pinned; }
    bool readAloud() const { return m_readAloud; }

    void setOpacity(double opacity);
    void setAutoHideEnabled(bool enabled);
    void setAutoHideDelay(double seconds);
    void setFontSize(double points);
    void setPinned(bool pinned);
    void setReadAloud(bool enabled);

    /// The overlay window's last frame (x y width height, top-down screen
    /// coordinates); none when never saved or unreadable.
    std::optional<QRect> savedFrame() const;
    void saveFrame(const QRect &frame);

Q_SIGNALS:
    void opacityChanged();
    void autoHideEnabledChanged();
    void autoHideDelayChanged();
    void fontSizeChanged();
    void pinnedChanged();
    void readAloudChanged();

private:
    void assignDouble(double &field, double value, double fallback, bool allowNegative,
                      const QString &key, void (OverlaySettings::*changed)());
    void assignBool(bool &field, bool value, const QString &key,
                    void (OverlaySettings::*changed)());

    std::shared_ptr<PreferencesStore> m_store;
    double m_opacity = defaultOpacity;
    bool m_autoHideEnabled = defaultAutoHideEnabled;
    double m_autoHideDelay = defaultAutoHideDelay;
    double m_fontSize = defaultFontSize;
    bool m_pinned = defaultPinned;
    bool m_readAloud = false;
};

} // namespace Orvinta
