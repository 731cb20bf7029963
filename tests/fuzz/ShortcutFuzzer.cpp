// A stored shortcut as another program or a broken disk may leave it: it
// reads as a shortcut that shows, stores and grabs as itself, or as none.

#include <OrvintaApp/KeyCombo.h>
#include <OrvintaApp/KeyTable.h>

#include <cstdlib>

using namespace Orvinta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray stored(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<KeyCombo> combo = KeyCombo::fromJson(stored);
    if (!combo)
        return 0;
    if (KeyCombo::fromJson(combo->toJson()) != combo)
        std::abort();
    const QString shown = combo->displayString();
    if (shown.isEmpty() || !shown.endsWith(keyName(combo->keyCode)))
        std::abort();
    // A key without modifiers is global only when it types nothing.
    const bool modified =
        combo->modifiers & (KeyCombo::control | KeyCombo::option | KeyCombo::command);
    if (combo->isGlobalShortcut() && !modified) {
        const KeyRow *row = keyRowForCode(combo->keyCode);
        if (!row || row->qtKey.key() < Qt::Key_F13 || row->qtKey.key() > Qt::Key_F24)
            std::abort();
    }
    (void)holdKeyDisplayName(QString::fromUtf8(stored));
    return 0;
}
