// The update feed as any server may send it: it parses or fails with one
// line, and every address it offers is a secure web address.

#include <OrvintaUpdates/Appcast.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Orvinta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    QString error;
    const auto items =
        parseAppcast(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (!items) {
        if (error.isEmpty() || error.contains(QLatin1Char('\n')))
            std::abort();
        return 0;
    }
    for (const AppcastItem &item : *items)
        if (const QUrl page = item.downloadPage(); !page.isEmpty() && !isSecureWebAddress(page))
            std::abort();
    if (const auto newest = newestItem(*items); newest && newest->displayedVersion().isEmpty())
        std::abort();
    return 0;
}
