#pragma once

#include <QFont>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <chrono>

namespace Orvinta {

class Dictation;

/// The dictation bubble's state: shown and hidden as a dictation starts and
/// ends, faded in and out, and the text it reads. The window itself is QML
/// (DictationBubbleView.qml) and only draws what this says.
class DictationBubble : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell creates the dictation bubble")
    Q_PROPERTY(bool windowVisible READ windowVisible NOTIFY windowVisibleChanged)
    /// 1 while fading in or shown, 0 while fading out or hidden; the view
    /// animates towards it over `fadeMs`.
    Q_PROPERTY(double targetOpacity READ targetOpacity NOTIFY targetOpacityChanged)
    Q_PROPERTY(int fadeMs READ fadeMs CONSTANT)
    Q_PROPERTY(Content content READ content NOTIFY contentChanged)
    /// The content's name, for the view: "listening", "interim", "buffer",
    /// "processing", "done" or "copied".
    Q_PROPERTY(QString contentName READ contentName NOTIFY contentChanged)
    Q_PROPERTY(QString text READ text NOTIFY contentChanged)
    Q_PROPERTY(bool barsAnimating READ barsAnimating NOTIFY barsAnimatingChanged)
    Q_PROPERTY(
        bool reducedMotion READ reducedMotion WRITE setReducedMotion NOTIFY reducedMotionChanged)
    Q_PROPERTY(QSize fittingSize READ fittingSize WRITE setFittingSize NOTIFY frameChanged)
    Q_PROPERTY(QRect frame READ frame NOTIFY frameChanged)
    /// The desktop's font, followed while Orvinta runs.
    Q_PROPERTY(QFont textFont READ textFont NOTIFY contentChanged)
    Q_PROPERTY(int maxTextWidth READ maxTextWidth CONSTANT)

public:
    /// What the text part shows.
    /// copied: done, but not pasted: the text waits on the clipboard.
    enum class Content { listening, interim, buffer, processing, done, copied };
    Q_ENUM(Content)

    struct Timings {
        std::chrono::milliseconds fade{150};
        std::chrono::milliseconds donePause{300};
        /// Long enough to read "Copied — press Ctrl+V".
        std::chrono::milliseconds copiedPause{2500};
    };

    static constexpr QSize minimumSize{250, 44};
    static constexpr int bottomDistance = 80;

    explicit DictationBubble(Dictation &dictation, QObject *parent = nullptr);
    DictationBubble(Dictation &dictation, Timings timings, QObject *parent = nullptr);

    /// Fades the bubble in (from transparent), cancelling a pending fade-out.
    void show();
    /// Fades out now, or after the done pause when the dictation produced text.
    void hide(bool produced);

    bool windowVisible() const { return m_windowVisible; }
    double targetOpacity() const { return m_targetOpacity; }
    int fadeMs() const { return static_cast<int>(m_timings.fade.count()); }
    Content content() const;
    QString contentName() const;
    /// The interim or buffer text, cut at its head to fit one line.
    QString text() const;
    bool barsAnimating() const { return m_windowVisible && !m_reducedMotion; }
    bool reducedMotion() const { return m_reducedMotion; }
    void setReducedMotion(bool reduced);
    QSize fittingSize() const { return m_fittingSize; }
    void setFittingSize(QSize size);
    /// Centred at the bottom of the primary screen, 80 px above its edge.
    QRect frame() const;
    QFont textFont() const;
    int maxTextWidth() const { return 340; }
    bool fadeOutPending() const { return m_donePause.isActive(); }

    /// The window's frame for a content size on a screen.
    static QRect frameFor(QSize fitting, const QRect &screen);
    /// `text` on one line of at most `width` pixels, cut at the head.
    static QString headTruncated(const QString &text, const QFont &font, int width);

Q_SIGNALS:
    void windowVisibleChanged();
    void targetOpacityChanged();
    void contentChanged();
    void barsAnimatingChanged();
    void reducedMotionChanged();
    void frameChanged();
    /// The view starts its fade from transparent to opaque.
    void fadeInRequested();
    /// The view starts its fade to transparent.
    void fadeOutRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fadeOut();
    void setWindowVisible(bool visible);
    void setTargetOpacity(double opacity);

    Dictation &m_dictation;
    Timings m_timings;
    bool m_windowVisible = false;
    double m_targetOpacity = 0;
    bool m_reducedMotion = false;
    QSize m_fittingSize = minimumSize;
    QTimer m_donePause;
    QTimer m_fadeOutEnd;
};

} // namespace Orvinta
