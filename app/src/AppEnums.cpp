#include <OrvintaApp/AppEnums.h>

namespace Orvinta {

QString rawValue(AutoPasteSource source) {
    return source == AutoPasteSource::translation ? QStringLiteral("translation")
                                                  : QStringLiteral("original");
}

std::optional<AutoPasteSource> autoPasteSourceFromRaw(const QString &raw) {
    if (raw == QLatin1String("original"))
        return AutoPasteSource::original;
    if (raw == QLatin1String("translation"))
        return AutoPasteSource::translation;
    return std::nullopt;
}

QString rawValue(ExportFormat format) {
    return format == ExportFormat::srt ? QStringLiteral("SRT Subtitles")
                                       : QStringLiteral("Plain Text");
}

QString fileExtension(ExportFormat format) {
    return format == ExportFormat::srt ? QStringLiteral("srt") : QStringLiteral("txt");
}

} // namespace Orvinta
