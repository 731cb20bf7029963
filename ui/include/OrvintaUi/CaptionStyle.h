#pragma once

#include <OrvintaUi/OverlaySettings.h>

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

class UiTheme;

/// The overlay's colours, made legible from what the user chose. Caption
/// text sits on a backdrop never fainter than keeps confirmed captions at
/// 7:1 and every other text of the overlay at 4.5:1 over a white and a
/// black desktop; a text colour that cannot reach that even on an opaque
/// backdrop moves towards black or white. The window opacity fades only the
/// chrome around the backdrops. The Default preset takes the windows'
/// colours, or the high-contrast preset's where the desktop asks for it.
class CaptionStyle : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The overlay's and the settings' view models derive it")
    Q_PROPERTY(QColor text READ text NOTIFY changed)
    Q_PROPERTY(QColor interim READ interim NOTIFY changed)
    /// Translations, times, counts and hints.
    Q_PROPERTY(QColor secondary READ secondary NOTIFY changed)
    Q_PROPERTY(QColor backdrop READ backdrop NOTIFY changed)
    /// The outline or shadow around the text: the backdrop's colour, opaque.
    Q_PROPERTY(QColor edge READ edge NOTIFY changed)
    /// Text.Normal, Text.Outline or Text.Raised (the drop shadow).
    Q_PROPERTY(int textStyle READ textStyle NOTIFY changed)
    /// Marks and symbols on the backdrop, at least 3:1.
    Q_PROPERTY(QColor accent READ accent NOTIFY changed)
    Q_PROPERTY(QColor red READ red NOTIFY changed)
    Q_PROPERTY(QColor green READ green NOTIFY changed)
    /// Who said a line, in a run on the microphone and the computer: a blue
    /// and an amber, each at 4.5:1 on the backdrop.
    Q_PROPERTY(QColor microphoneSpeaker READ microphoneSpeaker NOTIFY changed)
    Q_PROPERTY(QColor computerSpeaker READ computerSpeaker NOTIFY changed)
    /// A search match: the backdrop's colour on the text's.
    Q_PROPERTY(QColor mark READ mark NOTIFY changed)
    Q_PROPERTY(QColor markBackground READ markBackground NOTIFY changed)
    /// The window's own background at the window opacity.
    Q_PROPERTY(QColor chrome READ chrome NOTIFY changed)
    Q_PROPERTY(double leastBackgroundOpacity READ leastBackgroundOpacity NOTIFY changed)
    Q_PROPERTY(double backgroundOpacity READ backgroundOpacity NOTIFY changed)
    Q_PROPERTY(QString fontFamily READ fontFamily NOTIFY changed)
    Q_PROPERTY(double fontSize READ fontSize NOTIFY changed)

public:
    struct Colors {
        QColor text, interim, secondary, backdrop, edge, accent, red, green, mark, markBackground,
            chrome, microphoneSpeaker, computerSpeaker;
        double leastBackgroundOpacity = 1;
    };
    /// Every colour from the chosen text and background colours (opaque),
    /// the backdrop opacity asked for and the windows' accent and window
    /// colours at the window opacity.
    static Colors derive(const QColor &text, const QColor &background, double backgroundOpacity,
                         const QColor &accent, const QColor &window, double windowOpacity);

    CaptionStyle(OverlaySettings &settings, UiTheme &theme, QObject *parent = nullptr);

    /// The preset in force: Default turns HighContrast where the desktop asks.
    OverlaySettings::Preset effectivePreset() const;
    const Colors &colors() const { return m_colors; }
    QColor text() const { return m_colors.text; }
    QColor interim() const { return m_colors.interim; }
    QColor secondary() const { return m_colors.secondary; }
    QColor backdrop() const { return m_colors.backdrop; }
    QColor edge() const { return m_colors.edge; }
    int textStyle() const;
    QColor accent() const { return m_colors.accent; }
    QColor red() const { return m_colors.red; }
    QColor green() const { return m_colors.green; }
    QColor microphoneSpeaker() const { return m_colors.microphoneSpeaker; }
    QColor computerSpeaker() const { return m_colors.computerSpeaker; }
    QColor mark() const { return m_colors.mark; }
    QColor markBackground() const { return m_colors.markBackground; }
    QColor chrome() const { return m_colors.chrome; }
    double leastBackgroundOpacity() const { return m_colors.leastBackgroundOpacity; }
    double backgroundOpacity() const { return m_colors.backdrop.alphaF(); }
    QString fontFamily() const;
    double fontSize() const { return m_settings.fontSize(); }

Q_SIGNALS:
    void changed();

private:
    void update();

    OverlaySettings &m_settings;
    QPointer<UiTheme> m_theme;
    Colors m_colors;
};

} // namespace Orvinta
