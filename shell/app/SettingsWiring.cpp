#include "SettingsWiring.h"

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Dictation.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/ShortcutRecorderModel.h>
#include <OrvintaUi/UpdateWindowsController.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/UpdaterManager.h>
#include <OrvintaUpdates/WhatsNewModel.h>

namespace Orvinta {

SettingsWiring::SettingsWiring(const AppServices &services, QQmlEngine &engine, QObject *parent)
    : QObject(parent)
    , m_preferences(services.preferences)
    , m_paster(services.paster)
    , m_hotkeys(services.hotkeys)
    , m_engine(engine)
    , m_overlay(std::make_unique<OverlaySettings>(m_preferences))
    , m_updater(std::make_unique<UpdaterManager>(m_preferences))
    , m_whatsNew(std::make_unique<WhatsNewModel>()) {
    m_updateWindows =
        std::make_unique<UpdateWindowsController>(m_engine, m_whatsNew.get(), m_updater.get());
    if (m_hotkeys)
        for (HotkeyAction action : allHotkeyActions)
            m_recorders.push_back(std::make_unique<ShortcutRecorderModel>(m_hotkeys, action));
}

SettingsWiring::~SettingsWiring() {
    releaseWindows();
}

void SettingsWiring::releaseWindows() {
    // Windows before the models their bindings read.
    m_settings.reset();
    m_updateWindows.reset();
    m_state = nullptr;
}

void SettingsWiring::attach(AppState &state) {
    m_state = &state;
}

void SettingsWiring::showSettings() {
    if (!m_state)
        return;
    if (!m_settings) {
        SettingsServices services;
        services.preferences = m_preferences;
        // On X11 "trusted" means the display offers XTest, which the paster checks.
        std::shared_ptr<CursorPaster> paster = m_paster;
        services.accessibilityTrusted = [paster] { return paster && paster->isAvailable(); };
        for (const auto &recorder : m_recorders)
            services.shortcutRecorders << recorder.get();
        m_settings = std::make_unique<SettingsWindowController>(
            m_engine, *m_state, m_overlay.get(), m_updater.get(), std::move(services));
        // A new hold key takes effect at once: the monitor starts again with it.
        AppState *state = m_state;
        connect(&m_settings->viewModel(), &SettingsViewModel::holdKeyChanged, this, [this, state] {
            // The monitor reads the hold key when it starts.
            state->dictationController().setupDictation();
            Q_EMIT holdKeyChanged(m_settings->viewModel().holdKeyName());
        });
    }
    m_settings->show();
}

void SettingsWiring::showReleaseNotesIfNew() {
    ReleaseNotes notes(m_preferences);
    m_whatsNew->showNotesIfNew(notes);
}

void SettingsWiring::startAutomaticUpdateChecks() {
    m_updater->startAutomaticChecks();
}

} // namespace Orvinta
