// The session file as a damaged disk or a hostile user may leave it: reading
// it never crashes, and whatever it accepts saves back to the same session.

#include <OrvintaApp/SessionStore.h>

#include <cstdlib>

using namespace Orvinta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    SessionData session;
    try {
        session = decodeSession(
            QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    } catch (const SessionFormatError &) {
        return 0;
    }
    SessionData again;
    try {
        again = decodeSession(encodeSession(session));
    } catch (const SessionFormatError &) {
        std::abort(); // a session that loads must save to a file that loads
    }
    if (again.lines.size() != session.lines.size() ||
        again.translations.size() != session.translations.size() ||
        again.targetLanguage.isValidUtf16() != session.targetLanguage.isValidUtf16())
        std::abort();
    for (qsizetype i = 0; i < session.lines.size(); ++i) {
        const ConfirmedLine &before = session.lines[i];
        const ConfirmedLine &after = again.lines[i];
        if (before.id != after.id || before.timestamp != after.timestamp ||
            (before.text.isValidUtf16() && before.text != after.text))
            std::abort();
    }
    return 0;
}
