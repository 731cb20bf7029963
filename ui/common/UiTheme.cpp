#include <OrvintaUi/UiTheme.h>

#include <OrvintaUi/Contrast.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QJSEngine>
#include <QProcess>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QStandardPaths>

namespace Orvinta {

namespace {

QColor mix(const QColor &a, const QColor &b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QColor opaque(const QColor &color) {
    return QColor(color.rgb());
}

/// Readable on each of the grounds it is drawn on.
QColor readableOnAll(QColor color, std::initializer_list<QColor> grounds, double ratio) {
    // A second round settles a colour that one ground moved away from another.
    for (int round = 0; round < 2; ++round)
        for (const QColor &ground : grounds)
            color = Contrast::readable(color, ground, ratio);
    return color;
}

/// The controls' palette roles by their QML names.
const std::pair<QPalette::ColorRole, const char *> roleNames[] = {
    {QPalette::Window, "window"},
    {QPalette::WindowText, "windowText"},
    {QPalette::Base, "base"},
    {QPalette::AlternateBase, "alternateBase"},
    {QPalette::Text, "text"},
    {QPalette::Button, "button"},
    {QPalette::ButtonText, "buttonText"},
    {QPalette::Light, "light"},
    {QPalette::Midlight, "midlight"},
    {QPalette::Mid, "mid"},
    {QPalette::Dark, "dark"},
    {QPalette::Shadow, "shadow"},
    {QPalette::Highlight, "highlight"},
    {QPalette::HighlightedText, "highlightedText"},
    {QPalette::Link, "link"},
    {QPalette::LinkVisited, "linkVisited"},
    {QPalette::ToolTipBase, "toolTipBase"},
    {QPalette::ToolTipText, "toolTipText"},
    {QPalette::PlaceholderText, "placeholderText"},
    {QPalette::BrightText, "brightText"},
};

/// Aimed a little above the thresholds, so that 8-bit channels and
/// antialiased edges still measure at them: main texts at 7:1, all others at 4.5:1.
constexpr double margin = 1.04;
constexpr double strongTarget = Contrast::captionRatio * margin;
constexpr double textTarget = Contrast::textRatio * margin;
/// Disabled controls need not reach 4.5:1, but stay readable.
constexpr double disabledRatio = 3.0;
constexpr double secondaryEmphasis = 0.72;
constexpr double placeholderEmphasis = 0.6;

} // namespace

UiTheme::Colors UiTheme::derive(const QPalette &desktop) {
    const auto role = [&](QPalette::ColorRole r) {
        return opaque(desktop.color(QPalette::Active, r));
    };
    Colors c;
    const QColor window = role(QPalette::Window);
    const QColor base = role(QPalette::Base);
    const QColor button = role(QPalette::Button);
    c.dark = role(QPalette::WindowText).lightnessF() > window.lightnessF();
    c.window = window;
    c.text = readableOnAll(role(QPalette::WindowText), {window, base}, strongTarget);
    const QColor onWindow = Contrast::emphasis(c.text, secondaryEmphasis, window, textTarget);
    const QColor onBase = Contrast::emphasis(c.text, secondaryEmphasis, base, textTarget);
    c.secondaryText = onWindow.alphaF() >= onBase.alphaF() ? onWindow : onBase;

    const QColor highlight = role(QPalette::Highlight);
    c.accent = readableOnAll(highlight, {window, base, button}, textTarget);
    c.onFill = QColor(Qt::white);
    c.accentFill = Contrast::readable(highlight, c.onFill, textTarget);
    c.success = readableOnAll(c.dark ? QColor(0x30, 0xd1, 0x58) : QColor(0x28, 0xa7, 0x45),
                              {window, base}, textTarget);
    c.warning = readableOnAll(c.dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xff, 0x95, 0x00),
                              {window, base}, textTarget);
    c.danger = readableOnAll(c.dark ? QColor(0xff, 0x45, 0x3a) : QColor(0xff, 0x3b, 0x30),
                             {window, base}, textTarget);
    c.dangerFill = Contrast::readable(QColor(0xff, 0x3b, 0x30), c.onFill, textTarget);

    QPalette &p = c.palette;
    const QColor text = readableOnAll(role(QPalette::Text), {base}, strongTarget);
    const QColor buttonText = readableOnAll(role(QPalette::ButtonText), {button}, strongTarget);
    const QColor black(Qt::black), white(Qt::white);
    const std::pair<QPalette::ColorRole, QColor> active[] = {
        {QPalette::Window, window},
        {QPalette::WindowText, c.text},
        {QPalette::Base, base},
        {QPalette::AlternateBase, mix(base, c.text, 0.04)},
        {QPalette::Text, text},
        {QPalette::Button, button},
        {QPalette::ButtonText, buttonText},
        {QPalette::Light, mix(button, white, c.dark ? 0.12 : 0.6)},
        {QPalette::Midlight, mix(button, white, c.dark ? 0.06 : 0.3)},
        {QPalette::Mid, mix(window, c.text, 0.35)},
        {QPalette::Dark, mix(window, c.text, 0.5)},
        {QPalette::Shadow, black},
        {QPalette::Highlight, c.accentFill},
        {QPalette::HighlightedText, c.onFill},
        {QPalette::Link, c.accent},
        {QPalette::LinkVisited, c.accent},
        {QPalette::ToolTipBase, base},
        {QPalette::ToolTipText, text},
        {QPalette::PlaceholderText,
         readableOnAll(
             Contrast::over(Contrast::emphasis(text, placeholderEmphasis, base, textTarget), base),
             {base, window}, textTarget)},
        {QPalette::BrightText, c.dark ? black : white},
    };
    for (const auto &[r, color] : active) {
        p.setColor(QPalette::Active, r, color);
        p.setColor(QPalette::Inactive, r, color);
        p.setColor(QPalette::Disabled, r, color);
    }
    for (const auto &[r, ground] : {std::pair{QPalette::WindowText, window},
                                    {QPalette::Text, base},
                                    {QPalette::ButtonText, button}})
        p.setColor(QPalette::Disabled, r,
                   Contrast::over(
                       Contrast::emphasis(p.color(QPalette::Active, r), 0.4, ground, disabledRatio),
                       ground));
    return c;
}

UiTheme &UiTheme::of(QQmlEngine &engine) {
    auto *theme = engine.findChild<UiTheme *>(QString(), Qt::FindDirectChildrenOnly);
    if (!theme) {
        theme = new UiTheme(&engine);
        // The engine deletes it as its child, not as a singleton it collected.
        QJSEngine::setObjectOwnership(theme, QJSEngine::CppOwnership);
    }
    return *theme;
}

UiTheme *UiTheme::create(QQmlEngine *engine, QJSEngine *) {
    return &of(*engine);
}

UiTheme::UiTheme(QObject *parent)
    : QObject(parent) {
    readDesktop();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
    const QByteArray forced = qgetenv("ORVINTA_HIGH_CONTRAST");
    if (!forced.isEmpty()) {
        m_highContrastOverridden = true;
        m_highContrast = forced != "0";
    } else if (const QString gsettings =
                   QStandardPaths::findExecutable(QStringLiteral("gsettings"));
               !gsettings.isEmpty()) {
        followGnomeHighContrast(gsettings);
    }
}

UiTheme::~UiTheme() {
    // The watchers run as long as Orvinta does; they end with it, unheard.
    for (const QPointer<QProcess> &watcher : std::as_const(m_watchers))
        if (watcher) {
            watcher->disconnect();
            watcher->kill();
            watcher->waitForFinished(1000);
        }
}

bool UiTheme::eventFilter(QObject *watched, QEvent *event) {
    if (watched == QCoreApplication::instance() &&
        (event->type() == QEvent::ApplicationPaletteChange ||
         event->type() == QEvent::ApplicationFontChange))
        readDesktop();
    return QObject::eventFilter(watched, event);
}

void UiTheme::readDesktop() {
    const Colors colors = derive(QGuiApplication::palette());
    const bool colorsDiffer = colors.palette != m_colors.palette || colors.dark != m_colors.dark;
    m_colors = colors;
    const QFont font = QGuiApplication::font();
    double size = font.pointSizeF();
    if (size <= 0 && font.pixelSize() > 0)
        size = font.pixelSize() * 72.0 / 96.0;
    if (size <= 0)
        size = 10;
    const bool sizeDiffers = size != m_textSize;
    m_textSize = size;
    if (colorsDiffer) {
        for (const QPointer<QQuickWindow> &window : std::as_const(m_windows))
            if (window)
                paint(*window);
        Q_EMIT colorsChanged();
    }
    if (sizeDiffers)
        Q_EMIT sizesChanged();
}

void UiTheme::applyTo(QQuickWindow &window) {
    m_windows.removeAll(nullptr);
    if (!m_windows.contains(&window))
        m_windows.append(&window);
    paint(window);
}

void UiTheme::paint(QQuickWindow &window) const {
    auto *palette = qvariant_cast<QObject *>(window.property("palette"));
    if (!palette)
        return;
    auto *disabled = qvariant_cast<QObject *>(palette->property("disabled"));
    for (const auto &[role, name] : roleNames) {
        palette->setProperty(name, m_colors.palette.color(QPalette::Active, role));
        if (disabled)
            disabled->setProperty(name, m_colors.palette.color(QPalette::Disabled, role));
    }
}

void UiTheme::setHighContrast(bool on) {
    if (m_highContrast == on)
        return;
    m_highContrast = on;
    Q_EMIT highContrastChanged();
}

bool UiTheme::gnomeAnswerMeansHighContrast(const QString &answer) {
    // A monitor's line names the key first: "high-contrast: true".
    const QString said = answer.section(QLatin1String(": "), -1).trimmed();
    return said == QLatin1String("true") || said.contains(QLatin1String("HighContrast"));
}

void UiTheme::followGnomeHighContrast(const QString &gsettings) {
    const std::pair<QStringList, bool UiTheme::*> settings[] = {
        {{QStringLiteral("org.gnome.desktop.a11y.interface"), QStringLiteral("high-contrast")},
         &UiTheme::m_gnomeSwitch},
        {{QStringLiteral("org.gnome.desktop.interface"), QStringLiteral("gtk-theme")},
         &UiTheme::m_gnomeTheme}};
    for (const auto &[setting, heard] : settings)
        for (const QString &verb : {QStringLiteral("get"), QStringLiteral("monitor")}) {
            auto *process = new QProcess(this);
            // Each line is the setting's value now.
            const auto read = [this, process, heard = heard](bool ended) {
                bool answered = false;
                while (process->canReadLine() || (ended && process->bytesAvailable() > 0)) {
                    this->*heard = gnomeAnswerMeansHighContrast(QString::fromUtf8(
                        process->canReadLine() ? process->readLine() : process->readAll()));
                    answered = true;
                }
                if (answered && !m_highContrastOverridden)
                    setHighContrast(m_gnomeSwitch || m_gnomeTheme);
            };
            connect(process, &QProcess::readyReadStandardOutput, this, [read] { read(false); });
            connect(process, &QProcess::finished, this, [read, process] {
                read(true);
                process->deleteLater();
            });
            connect(process, &QProcess::errorOccurred, process,
                    [process](QProcess::ProcessError error) {
                        if (error == QProcess::FailedToStart)
                            process->deleteLater();
                    });
            process->start(gsettings, QStringList{verb} + setting);
            if (verb == QLatin1String("monitor"))
                m_watchers.append(process);
        }
}

} // namespace Orvinta
