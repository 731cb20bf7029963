// The preferences file as another program or a broken disk may leave it:
// every stored value reads as a value of its type or as the default.

#include "FuzzSupport.h"

#include <OrvintaApp/PreferencesStore.h>

#include <cmath>

using namespace Orvinta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    PreferencesStore store(QString::fromStdString(OrvintaFuzz::asFile(data, size, ".conf")));
    store.registerDefaults(
        {{"app.soundEnabled", true}, {"app.selectedLocale", "en-US"}, {"overlay.opacity", 0.85}});
    for (const char *key : {"app.soundEnabled", "app.showOverlay", "app.autoCopyToClipboard",
                            "app.dictationModeEnabled", "overlay.pinned"})
        (void)store.boolValue(QLatin1String(key));
    for (const char *key : {"app.selectedLocale", "app.selectedSource", "app.targetLanguage",
                            "app.autoPasteSource", "app.hotkeyCombo"})
        if (const auto text = store.stringValue(QLatin1String(key)); text && text->isNull())
            std::abort();
    for (const char *key : {"overlay.opacity", "overlay.fontSize"})
        (void)store.doubleValue(QLatin1String(key));
    (void)store.dataValue("app.hotkeyCombo");
    return 0;
}
