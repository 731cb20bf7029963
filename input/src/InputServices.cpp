#include <OrvintaInput/InputServices.h>

#include "x11/X11Connection.h"
#include "x11/X11KeyGrabber.h"
#include "x11/X11ModifierKeySource.h"
#include "x11/X11PasteKeystrokes.h"

#include <OrvintaInput/ClipboardPaster.h>
#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>
#include <OrvintaInput/InputLog.h>

#include <OrvintaApp/Dictation.h>
#include <OrvintaApp/PreferencesStore.h>

#include <QPointer>

namespace Orvinta {

void installInputServices(AppServices &services) {
    QString unavailable;
    // One connection for all three, read by this thread's event loop.
    std::shared_ptr<X11Connection> connection = X11Connection::open(&unavailable);
    if (!connection)
        qCWarning(lcHotkey,
                  "Keyboard services unavailable: %s (shortcuts, the hold key and "
                  "paste at the cursor work for X11 applications only)",
                  qUtf8Printable(unavailable));

    services.hotkeys = std::make_shared<HotkeyManager>(
        services.preferences, std::make_unique<X11KeyGrabber>(connection, unavailable));

    services.paster = std::make_shared<ClipboardPaster>(
        std::make_unique<X11PasteKeystrokes>(connection, unavailable), services.preferences);

    std::shared_ptr<PreferencesStore> preferences = services.preferences;
    services.setUpDictation = [connection, unavailable,
                               preferences](DictationController &controller) {
        auto *monitor = new DictationKeyMonitor(
            std::make_unique<X11ModifierKeySource>(connection, unavailable),
            [preferences] {
                const QString name =
                    preferences
                        ? preferences->stringValue(holdKeyPreference).value_or(defaultHoldKey)
                        : defaultHoldKey;
                if (isKnownKeysym(name))
                    return name;
                qCWarning(lcDictationKey, "Unknown hold key \"%s\"; using %s", qUtf8Printable(name),
                          qUtf8Printable(defaultHoldKey));
                return defaultHoldKey;
            },
            &controller);
        QPointer<DictationController> target(&controller);
        monitor->onHoldStart = [target] {
            if (target)
                target->holdStarted();
        };
        monitor->onHoldEnd = [target] {
            if (target)
                target->holdEnded();
        };
        QObject::connect(&controller, &DictationController::dictationMonitorRequested, monitor,
                         [monitor](bool enabled) {
                             if (enabled)
                                 monitor->start();
                             else
                                 monitor->stop();
                         });
    };
}

} // namespace Orvinta
