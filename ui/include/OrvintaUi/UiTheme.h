#pragma once

#include <QColor>
#include <QList>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QProcess;
class QQmlEngine;
class QQuickWindow;

namespace Orvinta {

/// One palette and one set of type sizes for every window: the panel, the
/// settings, the overlay and the bubble. The colours follow the desktop's
/// scheme (Qt 6.4 tells it only by the application palette: dark where its
/// text is lighter than its window) and every text colour is derived to at
/// least 4.5:1 on what it is drawn on; the sizes follow the application
/// font. Both follow their changes while Orvinta runs. Also whether the
/// desktop asks for high contrast: ORVINTA_HIGH_CONTRAST=1 or 0, else GNOME's
/// a11y high-contrast switch or a GTK theme named HighContrast, asked and
/// then watched through gsettings without blocking; off elsewhere (KDE has no
/// such switch to read).
class UiTheme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool dark READ dark NOTIFY colorsChanged)
    Q_PROPERTY(bool highContrast READ highContrast NOTIFY highContrastChanged)
    Q_PROPERTY(QColor window READ window NOTIFY colorsChanged)
    Q_PROPERTY(QColor text READ text NOTIFY colorsChanged)
    Q_PROPERTY(QColor secondaryText READ secondaryText NOTIFY colorsChanged)
    /// Text, borders and marks in the accent colour on the window.
    Q_PROPERTY(QColor accent READ accent NOTIFY colorsChanged)
    /// A filled button in the accent colour, and its text.
    Q_PROPERTY(QColor accentFill READ accentFill NOTIFY colorsChanged)
    Q_PROPERTY(QColor dangerFill READ dangerFill NOTIFY colorsChanged)
    Q_PROPERTY(QColor onFill READ onFill NOTIFY colorsChanged)
    /// Status texts on the window: running, waiting or warned, failed.
    Q_PROPERTY(QColor success READ success NOTIFY colorsChanged)
    Q_PROPERTY(QColor warning READ warning NOTIFY colorsChanged)
    Q_PROPERTY(QColor danger READ danger NOTIFY colorsChanged)
    /// Point sizes: the application font's, and a smaller and a larger one.
    Q_PROPERTY(double textSize READ textSize NOTIFY sizesChanged)
    Q_PROPERTY(double smallTextSize READ smallTextSize NOTIFY sizesChanged)
    Q_PROPERTY(double headlineSize READ headlineSize NOTIFY sizesChanged)

public:
    /// What the windows draw with, derived from one desktop palette.
    struct Colors {
        bool dark = false;
        QColor window, text, secondaryText, accent, accentFill, dangerFill, onFill, success,
            warning, danger;
        /// Every role of the controls' palette.
        QPalette palette;
    };
    static Colors derive(const QPalette &desktop);
    static constexpr double smallScale = 0.9;
    static constexpr double headlineScale = 1.2;

    // No default constructor: QML would make its own singleton with it instead of create().
    explicit UiTheme(QObject *parent);
    ~UiTheme() override;

    /// The theme of `engine`'s windows, made with the engine's first window
    /// and owned by it: the windows and their C++ models read the same one.
    static UiTheme &of(QQmlEngine &engine);
    static UiTheme *create(QQmlEngine *engine, QJSEngine *);

    bool dark() const { return m_colors.dark; }
    bool highContrast() const { return m_highContrast; }
    QColor window() const { return m_colors.window; }
    QColor text() const { return m_colors.text; }
    QColor secondaryText() const { return m_colors.secondaryText; }
    QColor accent() const { return m_colors.accent; }
    QColor accentFill() const { return m_colors.accentFill; }
    QColor dangerFill() const { return m_colors.dangerFill; }
    QColor onFill() const { return m_colors.onFill; }
    QColor success() const { return m_colors.success; }
    QColor warning() const { return m_colors.warning; }
    QColor danger() const { return m_colors.danger; }
    const Colors &colors() const { return m_colors; }
    double textSize() const { return m_textSize; }
    double smallTextSize() const { return m_textSize * smallScale; }
    double headlineSize() const { return m_textSize * headlineScale; }

    /// Gives `window` and its controls the palette, now and after each change.
    void applyTo(QQuickWindow &window);
    void setHighContrast(bool on);
    /// Asks `gsettings` (the program) for GNOME's two settings and follows
    /// their changes; the constructor does with the one on the PATH.
    void followGnomeHighContrast(const QString &gsettings);

    /// GNOME's answers: "gsettings get org.gnome.desktop.a11y.interface
    /// high-contrast", or of org.gnome.desktop.interface gtk-theme, or a line
    /// of "gsettings monitor" for either ("high-contrast: true").
    static bool gnomeAnswerMeansHighContrast(const QString &answer);

Q_SIGNALS:
    void colorsChanged();
    void sizesChanged();
    void highContrastChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void readDesktop();
    void paint(QQuickWindow &window) const;

    Colors m_colors;
    double m_textSize = 10;
    bool m_highContrast = false;
    bool m_highContrastOverridden = false;
    /// GNOME's switch and its theme, each as last heard.
    bool m_gnomeSwitch = false;
    bool m_gnomeTheme = false;
    QList<QPointer<QProcess>> m_watchers;
    QList<QPointer<QQuickWindow>> m_windows;
};

} // namespace Orvinta
