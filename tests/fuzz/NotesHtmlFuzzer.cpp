// Release notes as a feed may send them: whatever the HTML, the sanitised
// notes hold no active or fetching content and stay within the layout bounds.

#include <OrvintaUpdates/NotesHtml.h>

#include <QRegularExpression>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Orvinta;

namespace {

void check(const QString &html) {
    static const QRegularExpression tag("<(/?)([a-zA-Z][a-zA-Z0-9]*)([^>]*)>");
    static const QRegularExpression attribute("\\s([a-zA-Z-]+)=");
    int open = 0;
    int elements = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        const QString element = match.captured(2).toLower();
        if (!match.captured(1).isEmpty()) {
            --open;
            continue;
        }
        for (const char *banned : {"table", "td", "tr", "img", "script", "style", "iframe"})
            if (element == QLatin1String(banned))
                std::abort();
        for (auto a = attribute.globalMatch(match.captured(3)); a.hasNext();) {
            const QString name = a.next().captured(1).toLower();
            if (name != QLatin1String("href") && name != QLatin1String("class"))
                std::abort();
        }
        if (element != QLatin1String("br") && element != QLatin1String("hr"))
            ++open;
        if (open > NotesHtml::maxDepth || ++elements > NotesHtml::maxElements)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString fragment =
        QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    check(NotesHtml::sanitize(fragment));
    const QString document = NotesHtml::document(fragment, NotesHtml::ColorScheme::dark);
    if (!document.endsWith(QLatin1String("</html>")))
        std::abort();
    return 0;
}
