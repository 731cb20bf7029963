#pragma once

#include <OrvintaUi/CapabilitiesModel.h>
#include <OrvintaUi/CaptionStyle.h>
#include <OrvintaUi/HoldKeyRecorderModel.h>
#include <OrvintaUi/LanguageSelection.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/ShortcutRecorderModel.h>

#include <OrvintaApp/Preferences.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QQmlListProperty>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>
#include <memory>

namespace Orvinta {

class AppState;
class PreferencesStore;

/// What the settings window needs from layers it does not see. The shell
/// fills it; every member may stay empty (tests, a desktop without X11).
struct SettingsServices {
    std::shared_ptr<PreferencesStore> preferences;
    /// Whether the desktop lets Orvinta type into other windows (on X11:
    /// the display offers XTest). Asked each time the window is shown.
    std::function<bool()> accessibilityTrusted;
    /// The five shortcut fields, in row order (Toggle Recording, Auto Copy,
    /// Auto Paste, Overlay, Focus captions); none where there is no shortcut service.
    QList<ShortcutRecorderModel *> shortcutRecorders;
    /// What works on this desktop: the "What Works Here" page.
    DesktopCapabilities capabilities;
    /// Opens a web or mailto address; empty: the desktop's handler.
    std::function<void(const QUrl &)> openUrl;
    /// "1.4 (27)"; empty: the running program's.
    QString displayVersion;
    /// The windows' theme, which the caption preview follows; none, no preview.
    UiTheme *theme = nullptr;
};

/// Everything the settings window shows that is more than a plain binding:
/// visibility rules, value labels, the language tables, the version and
/// links. Controls write straight through to the preferences, the overlay
/// settings and the updater; nothing waits for an "apply".
class SettingsViewModel : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings window controller makes its view model")
    Q_PROPERTY(QVariantList tabs READ tabs CONSTANT)
    /// The id of the page shown; General when the window is first made.
    Q_PROPERTY(QString currentTab READ currentTab WRITE setCurrentTab NOTIFY currentTabChanged)
    Q_PROPERTY(int currentTabIndex READ currentTabIndex NOTIFY currentTabChanged)
    // General
    Q_PROPERTY(Orvinta::Preferences *preferences READ preferences CONSTANT)
    Q_PROPERTY(Orvinta::LanguageSelection *languages READ languages CONSTANT)
    Q_PROPERTY(bool showsPasteSource READ showsPasteSource NOTIFY clipboardChanged)
    Q_PROPERTY(QString pasteSourceCaption READ pasteSourceCaption NOTIFY clipboardChanged)
    Q_PROPERTY(bool accessibilityTrusted READ accessibilityTrusted NOTIFY trustChanged)
    Q_PROPERTY(bool showsPasteWarning READ showsPasteWarning NOTIFY warningsChanged)
    Q_PROPERTY(bool showsDictationWarning READ showsDictationWarning NOTIFY warningsChanged)
    Q_PROPERTY(QString holdKeyName READ holdKeyName NOTIFY holdKeyNameChanged)
    Q_PROPERTY(Orvinta::HoldKeyRecorderModel *holdKeyRecorder READ holdKeyRecorder CONSTANT)
    Q_PROPERTY(QQmlListProperty<Orvinta::ShortcutRecorderModel> shortcutRecorders READ
                   shortcutRecorderList CONSTANT)
    // What Works Here
    Q_PROPERTY(Orvinta::CapabilitiesModel *capabilities READ capabilities CONSTANT)
    // Appearance
    Q_PROPERTY(Orvinta::OverlaySettings *overlay READ overlay CONSTANT)
    Q_PROPERTY(QString opacityText READ opacityText NOTIFY overlayChanged)
    Q_PROPERTY(QString fontSizeText READ fontSizeText NOTIFY overlayChanged)
    Q_PROPERTY(QString autoHideDelayText READ autoHideDelayText NOTIFY overlayChanged)
    Q_PROPERTY(bool showsAutoHideDelay READ showsAutoHideDelay NOTIFY overlayChanged)
    /// The captions' colours as the overlay draws them; null without overlay settings.
    Q_PROPERTY(Orvinta::CaptionStyle *captionStyle READ captionStyle CONSTANT)
    Q_PROPERTY(QString backgroundOpacityText READ backgroundOpacityText NOTIFY overlayChanged)
    /// The choices of the caption rows, each a list of {label, value}.
    Q_PROPERTY(QVariantList presetChoices READ presetChoices CONSTANT)
    Q_PROPERTY(QVariantList colorChoices READ colorChoices CONSTANT)
    Q_PROPERTY(QVariantList edgeChoices READ edgeChoices CONSTANT)
    Q_PROPERTY(QVariantList placementChoices READ placementChoices CONSTANT)
    /// "Default" (the desktop's font) and the installed families.
    Q_PROPERTY(QStringList fontFamilies READ fontFamilies CONSTANT)
    Q_PROPERTY(int presetIndex READ presetIndex NOTIFY overlayChanged)
    Q_PROPERTY(int textColorIndex READ textColorIndex NOTIFY overlayChanged)
    Q_PROPERTY(int backgroundColorIndex READ backgroundColorIndex NOTIFY overlayChanged)
    Q_PROPERTY(int fontFamilyIndex READ fontFamilyIndex NOTIFY overlayChanged)
    // Update and About
    /// Null where the run has no updater.
    Q_PROPERTY(Orvinta::UpdaterManager *updater READ updater CONSTANT)
    Q_PROPERTY(QString displayVersion READ displayVersion CONSTANT)
    Q_PROPERTY(QUrl websiteUrl READ websiteUrl CONSTANT)
    Q_PROPERTY(QUrl supportUrl READ supportUrl CONSTANT)

public:
    /// `overlay` and `updater` may be null: their tabs then show nothing to change.
    SettingsViewModel(AppState &state, OverlaySettings *overlay, UpdaterManager *updater,
                      SettingsServices services, QObject *parent = nullptr);
    ~SettingsViewModel() override;

    static QVariantList tabs();
    QString currentTab() const { return m_currentTab; }
    /// An id that is no tab's is ignored.
    void setCurrentTab(const QString &id);
    /// The sidebar's Up and Down: the tab `step` rows away, kept within the list.
    Q_INVOKABLE void moveTab(int step);
    int currentTabIndex() const;

    Preferences *preferences() const;
    LanguageSelection *languages() const { return m_languages.get(); }

    bool showsPasteSource() const;
    QString pasteSourceCaption() const;
    bool accessibilityTrusted() const { return m_trusted; }
    bool showsPasteWarning() const;
    bool showsDictationWarning() const;
    QString holdKeyName() const;
    HoldKeyRecorderModel *holdKeyRecorder() const { return m_holdKey.get(); }
    QList<ShortcutRecorderModel *> shortcutRecorders() const;
    QQmlListProperty<ShortcutRecorderModel> shortcutRecorderList();
    CapabilitiesModel *capabilities() const { return m_capabilities.get(); }

    OverlaySettings *overlay() const { return m_overlay; }
    QString opacityText() const;
    QString fontSizeText() const;
    QString autoHideDelayText() const;
    bool showsAutoHideDelay() const;
    CaptionStyle *captionStyle() const { return m_captionStyle.get(); }
    QString backgroundOpacityText() const;
    static QVariantList presetChoices();
    static QVariantList colorChoices();
    static QVariantList edgeChoices();
    static QVariantList placementChoices();
    QStringList fontFamilies() const;
    int presetIndex() const;
    /// The row of the chosen colour; -1 for a colour that is none of them.
    int textColorIndex() const;
    int backgroundColorIndex() const;
    int fontFamilyIndex() const;
    /// The rows' choices by index.
    Q_INVOKABLE void choosePreset(int index);
    Q_INVOKABLE void chooseTextColor(int index);
    Q_INVOKABLE void chooseBackgroundColor(int index);
    Q_INVOKABLE void chooseFontFamily(int index);

    UpdaterManager *updater() const { return m_updater; }
    QString displayVersion() const { return m_displayVersion; }
    QUrl websiteUrl() const;
    QUrl supportUrl() const;

    /// Asks the desktop again whether Orvinta may paste (the window does it when shown).
    Q_INVOKABLE void refreshTrust();
    /// The warnings' "Show What Works Here".
    Q_INVOKABLE void showCapabilities();
    /// The key bindings of "What Works Here" onto the clipboard.
    Q_INVOKABLE void copySetupLines();
    Q_INVOKABLE void openWebsite();
    Q_INVOKABLE void contactSupport();
    /// Ends every field's recording (the window was hidden), so the global
    /// shortcuts are not left suspended.
    Q_INVOKABLE void cancelRecordings();
    /// The user's "Check for Updates...": the result dialog follows the updater.
    Q_INVOKABLE void checkForUpdates();

Q_SIGNALS:
    void currentTabChanged();
    void clipboardChanged();
    void trustChanged();
    void warningsChanged();
    void holdKeyNameChanged();
    void overlayChanged();
    /// The stored hold key changed (the shell starts the key monitor again).
    void holdKeyChanged();

private:
    void open(const QUrl &url);

    AppState &m_state;
    QPointer<OverlaySettings> m_overlay;
    QPointer<UpdaterManager> m_updater;
    SettingsServices m_services;
    /// The recorders may go before the window (the shell owns them).
    QList<QPointer<ShortcutRecorderModel>> m_recorders;
    std::unique_ptr<LanguageSelection> m_languages;
    std::unique_ptr<HoldKeyRecorderModel> m_holdKey;
    std::unique_ptr<CapabilitiesModel> m_capabilities;
    std::unique_ptr<CaptionStyle> m_captionStyle;
    QStringList m_fontFamilies;
    QString m_currentTab = QStringLiteral("general");
    QString m_displayVersion;
    bool m_trusted = true;
};

} // namespace Orvinta
