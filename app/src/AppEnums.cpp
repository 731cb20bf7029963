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
    switch (format) {
    case ExportFormat::srt:
        return QStringLiteral("SRT Subtitles");
    case ExportFormat::webVtt:
        return QStringLiteral("WebVTT Subtitles");
    case ExportFormat::plainText:
        break;
    }
    return QStringLiteral("Plain Text");
}

QString fileExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::srt:
        return QStringLiteral("srt");
    case ExportFormat::webVtt:
        return QStringLiteral("vtt");
    case ExportFormat::plainText:
        break;
    }
    return QStringLiteral("txt");
}

std::optional<ExportFormat> exportFormatFromExtension(const QString &extension) {
    for (const ExportFormat format :
         {ExportFormat::plainText, ExportFormat::srt, ExportFormat::webVtt})
        if (extension == fileExtension(format))
            return format;
    return std::nullopt;
}

} // namespace Orvinta
