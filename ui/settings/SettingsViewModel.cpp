#include <OrvintaUi/SettingsViewModel.h>

#include <OrvintaUi/OverlaySettings.h>

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Preferences.h>
#include <OrvintaEngineBackends/LocaleData.h>
#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <QDesktopServices>
#include <QFontDatabase>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace Orvinta {

namespace {

QString whole(double value) {
    return QString::number(static_cast<long long>(std::llround(value)));
}

/// The tab's row in the sidebar; -1 for an id that is no tab's.
int indexOfTab(const QString &id) {
    const QVariantList tabs = SettingsViewModel::tabs();
    for (qsizetype i = 0; i < tabs.size(); ++i)
        if (tabs.at(i).toMap().value(QStringLiteral("id")).toString() == id)
            return int(i);
    return -1;
}

QVariantMap choice(const char *label, const QVariant &value) {
    return {{QStringLiteral("label"), QString::fromUtf8(label)}, {QStringLiteral("value"), value}};
}

/// The colours offered for caption text and background; Default is the windows' own.
const std::pair<const char *, QColor> captionColors[] = {
    {"Default", QColor()},
    {"White", QColor(Qt::white)},
    {"Yellow", QColor(0xff, 0xff, 0x00)},
    {"Cyan", QColor(0x00, 0xff, 0xff)},
    {"Green", QColor(0x00, 0xff, 0x00)},
    {"Black", QColor(Qt::black)},
    {"Dark blue", QColor(0x00, 0x00, 0x80)},
};

int colorIndex(const QColor &color) {
    for (int i = 0; i < int(std::size(captionColors)); ++i)
        if (captionColors[i].second == color)
            return i;
    return -1;
}

} // namespace

SettingsViewModel::SettingsViewModel(AppState &state, OverlaySettings *overlay,
                                     UpdaterManager *updater, SettingsServices services,
                                     QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_overlay(overlay)
    , m_updater(updater)
    , m_services(std::move(services))
    , m_languages(std::make_unique<LanguageSelection>(*state.preferences()))
    , m_holdKey(std::make_unique<HoldKeyRecorderModel>(m_services.preferences))
    , m_capabilities(std::make_unique<CapabilitiesModel>(m_services.capabilities))
    , m_displayVersion(m_services.displayVersion.isEmpty() ? AppVersion::displayVersion()
                                                           : m_services.displayVersion) {
    for (ShortcutRecorderModel *recorder : m_services.shortcutRecorders)
        m_recorders << QPointer<ShortcutRecorderModel>(recorder);
    refreshTrust();
    Preferences *prefs = m_state.preferences();
    for (auto signal :
         {&Preferences::autoPasteAtCursorChanged, &Preferences::autoPasteSourceChanged}) {
        connect(prefs, signal, this, &SettingsViewModel::clipboardChanged);
    }
    connect(prefs, &Preferences::autoPasteAtCursorChanged, this,
            &SettingsViewModel::warningsChanged);
    connect(prefs, &Preferences::dictationModeEnabledChanged, this,
            &SettingsViewModel::warningsChanged);
    connect(m_holdKey.get(), &HoldKeyRecorderModel::holdKeyChanged, this, [this] {
        Q_EMIT holdKeyNameChanged();
        Q_EMIT holdKeyChanged();
    });
    if (m_overlay) {
        for (auto signal :
             {&OverlaySettings::opacityChanged, &OverlaySettings::fontSizeChanged,
              &OverlaySettings::autoHideDelayChanged, &OverlaySettings::autoHideEnabledChanged,
              &OverlaySettings::captionStyleChanged}) {
            connect(m_overlay, signal, this, &SettingsViewModel::overlayChanged);
        }
        m_fontFamilies = QStringList{QStringLiteral("Default")} + QFontDatabase::families();
    }
    if (m_overlay && m_services.theme) {
        m_captionStyle = std::make_unique<CaptionStyle>(*m_overlay, *m_services.theme);
        connect(m_captionStyle.get(), &CaptionStyle::changed, this,
                &SettingsViewModel::overlayChanged);
    }
}

SettingsViewModel::~SettingsViewModel() = default;

QList<ShortcutRecorderModel *> SettingsViewModel::shortcutRecorders() const {
    QList<ShortcutRecorderModel *> recorders;
    for (const QPointer<ShortcutRecorderModel> &recorder : m_recorders)
        if (recorder)
            recorders << recorder.data();
    return recorders;
}

QQmlListProperty<ShortcutRecorderModel> SettingsViewModel::shortcutRecorderList() {
    using List = QQmlListProperty<ShortcutRecorderModel>;
    return List(
        this, nullptr,
        [](List *list) {
            return static_cast<SettingsViewModel *>(list->object)->shortcutRecorders().size();
        },
        [](List *list, qsizetype index) {
            return static_cast<SettingsViewModel *>(list->object)->shortcutRecorders().value(index);
        });
}

QVariantList SettingsViewModel::tabs() {
    const auto tab = [](const char *id, const char *title, const char *icon) {
        return QVariantMap{{QStringLiteral("id"), QString::fromLatin1(id)},
                           {QStringLiteral("title"), QString::fromLatin1(title)},
                           {QStringLiteral("icon"), QString::fromLatin1(icon)}};
    };
    return {tab("general", "General", "emblem-system-symbolic"),
            tab("appearance", "Appearance", "applications-graphics-symbolic"),
            tab("update", "Update", "view-refresh-symbolic"),
            tab("capabilities", "What Works Here", "computer-symbolic"),
            tab("about", "About", "help-about-symbolic")};
}

int SettingsViewModel::currentTabIndex() const {
    return std::max(0, indexOfTab(m_currentTab));
}

void SettingsViewModel::setCurrentTab(const QString &id) {
    if (id == m_currentTab || indexOfTab(id) < 0)
        return;
    m_currentTab = id;
    Q_EMIT currentTabChanged();
}

void SettingsViewModel::moveTab(int step) {
    const QVariantList all = tabs();
    const auto row = std::clamp<qsizetype>(currentTabIndex() + step, 0, all.size() - 1);
    setCurrentTab(all.at(row).toMap().value(QStringLiteral("id")).toString());
}

Preferences *SettingsViewModel::preferences() const {
    return m_state.preferences();
}

bool SettingsViewModel::showsPasteSource() const {
    return preferences()->autoPasteAtCursor();
}

QString SettingsViewModel::pasteSourceCaption() const {
    return preferences()->autoPasteSource() == AutoPasteSource::translation
               ? QStringLiteral("Pastes the translated text at the cursor when translation "
                                "completes.")
               : QStringLiteral("Pastes the original transcription at the cursor immediately.");
}

bool SettingsViewModel::showsPasteWarning() const {
    return preferences()->autoPasteAtCursor() && !m_trusted;
}

bool SettingsViewModel::showsDictationWarning() const {
    return preferences()->dictationModeEnabled() && !m_trusted;
}

QString SettingsViewModel::holdKeyName() const {
    return m_holdKey->displayText();
}

QString SettingsViewModel::opacityText() const {
    return m_overlay ? whole(m_overlay->opacity() * 100) + QLatin1Char('%') : QString();
}

QString SettingsViewModel::fontSizeText() const {
    return m_overlay ? whole(m_overlay->fontSize()) + QStringLiteral(" pt") : QString();
}

QString SettingsViewModel::autoHideDelayText() const {
    return m_overlay ? whole(m_overlay->autoHideDelay()) + QStringLiteral(" s") : QString();
}

bool SettingsViewModel::showsAutoHideDelay() const {
    return m_overlay && m_overlay->autoHideEnabled();
}

QString SettingsViewModel::backgroundOpacityText() const {
    return m_captionStyle ? whole(m_captionStyle->backgroundOpacity() * 100) + QLatin1Char('%')
                          : QString();
}

QVariantList SettingsViewModel::presetChoices() {
    using Preset = OverlaySettings::Preset;
    return {choice("Default", int(Preset::Default)),
            choice("High contrast (yellow on black)", int(Preset::HighContrast)),
            choice("White on black", int(Preset::WhiteOnBlack)),
            choice("Black on white", int(Preset::BlackOnWhite)),
            choice("Custom", int(Preset::Custom))};
}

QVariantList SettingsViewModel::colorChoices() {
    QVariantList choices;
    for (const auto &[label, color] : captionColors)
        choices << choice(label, color);
    return choices;
}

QVariantList SettingsViewModel::edgeChoices() {
    using Edge = OverlaySettings::EdgeStyle;
    return {choice("None", int(Edge::NoEdge)), choice("Outline", int(Edge::Outline)),
            choice("Drop shadow", int(Edge::DropShadow))};
}

QVariantList SettingsViewModel::placementChoices() {
    using Placement = OverlaySettings::Placement;
    return {choice("Floating", int(Placement::Floating)),
            choice("Docked at the top", int(Placement::DockedTop)),
            choice("Docked at the bottom", int(Placement::DockedBottom))};
}

QStringList SettingsViewModel::fontFamilies() const {
    return m_fontFamilies;
}

int SettingsViewModel::presetIndex() const {
    return m_overlay ? int(m_overlay->preset()) : 0;
}

int SettingsViewModel::textColorIndex() const {
    return m_overlay ? colorIndex(m_overlay->textColor()) : 0;
}

int SettingsViewModel::backgroundColorIndex() const {
    return m_overlay ? colorIndex(m_overlay->backgroundColor()) : 0;
}

int SettingsViewModel::fontFamilyIndex() const {
    if (!m_overlay || m_overlay->fontFamily().isEmpty())
        return 0;
    return std::max(0, int(fontFamilies().indexOf(m_overlay->fontFamily())));
}

void SettingsViewModel::choosePreset(int index) {
    if (m_overlay && index >= 0 && index <= int(OverlaySettings::Preset::Custom))
        m_overlay->setPreset(OverlaySettings::Preset(index));
}

void SettingsViewModel::chooseTextColor(int index) {
    if (m_overlay && index >= 0 && index < int(std::size(captionColors)))
        m_overlay->setTextColor(captionColors[index].second);
}

void SettingsViewModel::chooseBackgroundColor(int index) {
    if (m_overlay && index >= 0 && index < int(std::size(captionColors)))
        m_overlay->setBackgroundColor(captionColors[index].second);
}

void SettingsViewModel::chooseFontFamily(int index) {
    if (m_overlay && index >= 0 && index < fontFamilies().size())
        m_overlay->setFontFamily(index == 0 ? QString() : fontFamilies().at(index));
}

QUrl SettingsViewModel::websiteUrl() const {
    return AppVersion::websiteUrl();
}

QUrl SettingsViewModel::supportUrl() const {
    return QUrl(QStringLiteral("mailto:") + AppVersion::supportEmail());
}

void SettingsViewModel::refreshTrust() {
    const bool trusted = !m_services.accessibilityTrusted || m_services.accessibilityTrusted();
    if (trusted == m_trusted)
        return;
    m_trusted = trusted;
    Q_EMIT trustChanged();
    Q_EMIT warningsChanged();
}

void SettingsViewModel::showCapabilities() {
    setCurrentTab(QStringLiteral("capabilities"));
}

void SettingsViewModel::copySetupLines() {
    m_state.transcript()->copyText(m_capabilities->setupText());
}

void SettingsViewModel::openWebsite() {
    open(websiteUrl());
}

void SettingsViewModel::contactSupport() {
    open(supportUrl());
}

void SettingsViewModel::cancelRecordings() {
    for (ShortcutRecorderModel *recorder : shortcutRecorders())
        recorder->cancelRecording();
    m_holdKey->cancelRecording();
}

void SettingsViewModel::checkForUpdates() {
    if (m_updater && m_updater->canCheckForUpdates())
        m_updater->checkForUpdates();
}

void SettingsViewModel::open(const QUrl &url) {
    if (m_services.openUrl)
        m_services.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

} // namespace Orvinta
