#pragma once

#include <QColor>
#include <QObject>
#include <QRect>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <optional>
#include <utility>

namespace Orvinta {

class PreferencesStore;

/// The overlay's look and window behaviour, stored under the overlay.* keys.
/// Every assignment writes the store (even of an equal value); observers hear
/// only of real changes. The font size is kept within its slider's range;
/// other values outside the sliders' ranges are kept as they are; only values
/// nothing can draw (not finite, a font size or delay below zero) fall back to
/// the default. The caption colours are what the user chose; CaptionStyle
/// makes them legible.
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
    Q_PROPERTY(QString fontFamily READ fontFamily WRITE setFontFamily NOTIFY captionStyleChanged)
    Q_PROPERTY(Preset preset READ preset WRITE setPreset NOTIFY captionStyleChanged)
    /// Invalid: the windows' text or window colour.
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor NOTIFY captionStyleChanged)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor NOTIFY
                   captionStyleChanged)
    /// The captions' backdrop; CaptionStyle never draws it below the legible least.
    Q_PROPERTY(double backgroundOpacity READ backgroundOpacity WRITE setBackgroundOpacity NOTIFY
                   captionStyleChanged)
    Q_PROPERTY(EdgeStyle edgeStyle READ edgeStyle WRITE setEdgeStyle NOTIFY captionStyleChanged)
    Q_PROPERTY(bool compact READ compact WRITE setCompact NOTIFY compactChanged)
    Q_PROPERTY(Placement placement READ placement WRITE setPlacement NOTIFY placementChanged)

public:
    /// The caption colours: a preset sets both; a colour chosen alone is Custom.
    enum class Preset { Default, HighContrast, WhiteOnBlack, BlackOnWhite, Custom };
    Q_ENUM(Preset)
    enum class EdgeStyle { NoEdge, Outline, DropShadow };
    Q_ENUM(EdgeStyle)
    /// Floating where the user put it, or docked along the top or bottom of
    /// the screen, keeping that strip for itself.
    enum class Placement { Floating, DockedTop, DockedBottom };
    Q_ENUM(Placement)

    static constexpr double defaultOpacity = 0.6;
    static constexpr bool defaultAutoHideEnabled = false;
    static constexpr double defaultAutoHideDelay = 5.0;
    static constexpr double defaultFontSize = 15.0;
    /// The font size slider's range (AppearanceTab.qml).
    static constexpr double minimumFontSize = 10.0;
    static constexpr double maximumFontSize = 64.0;
    static constexpr bool defaultPinned = true;
    static constexpr double defaultBackgroundOpacity = 0.85;
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
    QString fontFamily() const { return m_fontFamily; }
    Preset preset() const { return m_preset; }
    QColor textColor() const { return m_textColor; }
    QColor backgroundColor() const { return m_backgroundColor; }
    double backgroundOpacity() const { return m_backgroundOpacity; }
    EdgeStyle edgeStyle() const { return m_edgeStyle; }
    bool compact() const { return m_compact; }
    Placement placement() const { return m_placement; }

    /// The text and background colours of a preset; invalid ones for Default
    /// (the windows' colours) and Custom (none of its own).
    static std::pair<QColor, QColor> presetColors(Preset preset);

    void setOpacity(double opacity);
    void setAutoHideEnabled(bool enabled);
    void setAutoHideDelay(double seconds);
    void setFontSize(double points);
    void setPinned(bool pinned);
    void setReadAloud(bool enabled);
    void setFontFamily(const QString &family);
    /// Sets both colours to the preset's; Custom keeps them.
    void setPreset(Preset preset);
    void setTextColor(const QColor &color);
    void setBackgroundColor(const QColor &color);
    void setBackgroundOpacity(double opacity);
    void setEdgeStyle(EdgeStyle style);
    void setCompact(bool compact);
    void setPlacement(Placement placement);

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
    void captionStyleChanged();
    void compactChanged();
    void placementChanged();

private:
    void assignDouble(double &field, double value, double fallback, bool allowNegative,
                      const QString &key, void (OverlaySettings::*changed)());
    void assignBool(bool &field, bool value, const QString &key,
                    void (OverlaySettings::*changed)());
    void storeColors();

    std::shared_ptr<PreferencesStore> m_store;
    double m_opacity = defaultOpacity;
    bool m_autoHideEnabled = defaultAutoHideEnabled;
    double m_autoHideDelay = defaultAutoHideDelay;
    double m_fontSize = defaultFontSize;
    bool m_pinned = defaultPinned;
    bool m_readAloud = false;
    QString m_fontFamily;
    Preset m_preset = Preset::Default;
    QColor m_textColor;
    QColor m_backgroundColor;
    double m_backgroundOpacity = defaultBackgroundOpacity;
    EdgeStyle m_edgeStyle = EdgeStyle::NoEdge;
    bool m_compact = false;
    Placement m_placement = Placement::Floating;
};

} // namespace Orvinta
