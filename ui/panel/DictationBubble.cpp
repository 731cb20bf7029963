#include <OrvintaUi/DictationBubble.h>

#include <OrvintaApp/Dictation.h>

#include <QEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QScreen>

namespace Orvinta {

DictationBubble::DictationBubble(Dictation &dictation, QObject *parent)
    : DictationBubble(dictation, Timings{}, parent) {}

DictationBubble::DictationBubble(Dictation &dictation, Timings timings, QObject *parent)
    : QObject(parent)
    , m_dictation(dictation)
    , m_timings(timings) {
    m_donePause.setSingleShot(true);
    m_donePause.setInterval(m_timings.donePause);
    connect(&m_donePause, &QTimer::timeout, this, &DictationBubble::fadeOut);
    m_fadeOutEnd.setSingleShot(true);
    m_fadeOutEnd.setInterval(m_timings.fade);
    connect(&m_fadeOutEnd, &QTimer::timeout, this, [this] { setWindowVisible(false); });

    for (auto changed :
         {&Dictation::dictationStateChanged, &Dictation::dictationBufferChanged,
          &Dictation::dictationInterimTextChanged, &Dictation::leftOnClipboardChanged})
        connect(&dictation, changed, this, &DictationBubble::contentChanged);
    // The text is cut to fit in the desktop's font, which may change while Orvinta runs.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

bool DictationBubble::eventFilter(QObject *watched, QEvent *event) {
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationFontChange)
        Q_EMIT contentChanged();
    return QObject::eventFilter(watched, event);
}

DictationBubble::Content DictationBubble::content() const {
    switch (m_dictation.dictationState()) {
    case DictationState::processing:
        return Content::processing;
    case DictationState::done:
        return m_dictation.leftOnClipboard() ? Content::copied : Content::done;
    case DictationState::idle:
    case DictationState::recording:
        break;
    }
    if (!m_dictation.dictationInterimText().isEmpty())
        return Content::interim;
    if (m_dictation.dictationBuffer().isEmpty())
        return Content::listening;
    return Content::buffer;
}

QString DictationBubble::contentName() const {
    switch (content()) {
    case Content::listening:
        return QStringLiteral("listening");
    case Content::interim:
        return QStringLiteral("interim");
    case Content::buffer:
        return QStringLiteral("buffer");
    case Content::processing:
        return QStringLiteral("processing");
    case Content::done:
        return QStringLiteral("done");
    case Content::copied:
        return QStringLiteral("copied");
    }
    return {};
}

QString DictationBubble::text() const {
    switch (content()) {
    case Content::interim:
        return headTruncated(m_dictation.dictationInterimText(), textFont(), maxTextWidth());
    case Content::buffer:
        return headTruncated(m_dictation.dictationBuffer(), textFont(), maxTextWidth());
    case Content::listening:
        return QStringLiteral("Listening...");
    case Content::processing:
        return QStringLiteral("Processing...");
    case Content::done:
        return QStringLiteral("Done");
    case Content::copied:
        return QStringLiteral("Copied — press Ctrl+V");
    }
    return {};
}

QFont DictationBubble::textFont() const {
    return QGuiApplication::font();
}

QString DictationBubble::headTruncated(const QString &text, const QFont &font, int width) {
    // One line: line breaks read as spaces.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QFontMetricsF(font).elidedText(line, Qt::ElideLeft, width);
}

void DictationBubble::show() {
    m_donePause.stop();
    m_fadeOutEnd.stop();
    // From transparent every time, also when it is on screen already.
    setTargetOpacity(0);
    setWindowVisible(true);
    setTargetOpacity(1);
    Q_EMIT fadeInRequested();
}

void DictationBubble::hide(bool produced) {
    m_donePause.stop();
    if (!produced) {
        fadeOut();
        return;
    }
    m_donePause.start(m_dictation.leftOnClipboard() ? m_timings.copiedPause : m_timings.donePause);
}

void DictationBubble::fadeOut() {
    if (!m_windowVisible)
        return;
    setTargetOpacity(0);
    Q_EMIT fadeOutRequested();
    m_fadeOutEnd.start();
}

void DictationBubble::setWindowVisible(bool visible) {
    if (m_windowVisible == visible)
        return;
    m_windowVisible = visible;
    Q_EMIT windowVisibleChanged();
    Q_EMIT barsAnimatingChanged();
    if (visible)
        Q_EMIT frameChanged(); // the primary screen may have changed meanwhile
}

void DictationBubble::setTargetOpacity(double opacity) {
    if (m_targetOpacity == opacity)
        return;
    m_targetOpacity = opacity;
    Q_EMIT targetOpacityChanged();
}

void DictationBubble::setReducedMotion(bool reduced) {
    if (m_reducedMotion == reduced)
        return;
    m_reducedMotion = reduced;
    Q_EMIT reducedMotionChanged();
    Q_EMIT barsAnimatingChanged();
}

void DictationBubble::setFittingSize(QSize size) {
    if (m_fittingSize == size)
        return;
    m_fittingSize = size;
    Q_EMIT frameChanged();
}

QRect DictationBubble::frame() const {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return frameFor(m_fittingSize, screen ? screen->geometry() : QRect(0, 0, 1280, 800));
}

QRect DictationBubble::frameFor(QSize fitting, const QRect &screen) {
    const QSize size = fitting.expandedTo(minimumSize);
    const int x = screen.x() + (screen.width() - size.width()) / 2;
    const int y = screen.y() + screen.height() - bottomDistance - size.height();
    return {QPoint(x, y), size};
}

} // namespace Orvinta
