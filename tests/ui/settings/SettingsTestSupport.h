#pragma once

#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/SettingsWindowController.h>
#include <OrvintaUi/ShortcutRecorderModel.h>

#include <QQmlEngine>

namespace Orvinta::Testing {

/// What Works Here's rows as "Feature: status".
inline QStringList capabilityLines(const CapabilitiesModel &page) {
    QStringList lines;
    for (int row = 0; row < page.rowCount(); ++row)
        lines << page.data(page.index(row), CapabilitiesModel::FeatureRole).toString() + ": " +
                     page.data(page.index(row), CapabilitiesModel::StatusRole).toString();
    return lines;
}

/// The settings window over an AppFixture, with a field per shortcut of `hotkeys`.
struct SettingsWindowFixture {
    SettingsWindowFixture() { engine.addImportPath("qrc:/"); }
    SettingsWindowController &make(SettingsServices services = {},
                                   UpdaterManager *updater = nullptr) {
        services.preferences = f.preferences;
        services.accessibilityTrusted = [this] { return trusted; };
        services.openUrl = [](const QUrl &) {};
        hotkeys->start();
        for (HotkeyAction action : allHotkeyActions) {
            recorders.push_back(std::make_unique<ShortcutRecorderModel>(hotkeys, action));
            services.shortcutRecorders << recorders.back().get();
        }
        controller = std::make_unique<SettingsWindowController>(engine, *f.state, &overlay, updater,
                                                                std::move(services));
        return *controller;
    }
    /// The shortcut row labelled `label`.
    QQuickItem *shortcutRow(const QString &label) const {
        for (QQuickItem *row : itemsNamed(controller->window(), "shortcutRow"))
            if (row->property("label").toString() == label)
                return row;
        return nullptr;
    }

    AppFixture f;
    QQmlEngine engine;
    OverlaySettings overlay{f.preferences};
    std::shared_ptr<HotkeyService> hotkeys = std::make_shared<FakeHotkeys>(f.preferences);
    std::vector<std::unique_ptr<ShortcutRecorderModel>> recorders;
    bool trusted = false;
    std::unique_ptr<SettingsWindowController> controller; // the last member: destroyed first
};

} // namespace Orvinta::Testing
