#include <OrvintaEngineBackends/LocaleData.h>

#include <map>

namespace Orvinta {

const std::vector<LanguageEntry> &LocaleData::supportedLocales() {
    static const std::vector<LanguageEntry> locales{
        {"ko-KR", "Korean"},    {"en-US", "English"},    {"ja-JP", "Japanese"},
        {"zh-CN", "Chinese"},   {"yue-CN", "Cantonese"}, {"ar-SA", "Arabic"},
        {"da-DK", "Danish"},    {"de-DE", "German"},     {"es-ES", "Spanish"},
        {"fi-FI", "Finnish"},   {"fr-FR", "French"},     {"he-IL", "Hebrew"},
        {"it-IT", "Italian"},   {"ms-MY", "Malay"},      {"nb-NO", "Norwegian"},
        {"nl-NL", "Dutch"},     {"pt-BR", "Portuguese"}, {"ru-RU", "Russian"},
        {"sv-SE", "Swedish"},   {"th-TH", "Thai"},       {"tr-TR", "Turkish"},
        {"vi-VN", "Vietnamese"}};
    return locales;
}

const std::vector<LanguageEntry> &LocaleData::translationTargets() {
    static const std::vector<LanguageEntry> targets{{"ar-SA", "Arabic"},
                                                    {"da-DK", "Danish"},
                                                    {"de-DE", "German"},
                                                    {"en-US", "English"},
                                                    {"es-ES", "Spanish"},
                                                    {"fr-FR", "French"},
                                                    {"hi-IN", "Hindi"},
                                                    {"id-ID", "Indonesian"},
                                                    {"it-IT", "Italian"},
                                                    {"ja-JP", "Japanese"},
                                                    {"ko-KR", "Korean"},
                                                    {"nb-NO", "Norwegian"},
                                                    {"nl-NL", "Dutch"},
                                                    {"pl-PL", "Polish"},
                                                    {"pt-BR", "Portuguese"},
                                                    {"ru-RU", "Russian"},
                                                    {"sv-SE", "Swedish"},
                                                    {"th-TH", "Thai"},
                                                    {"tr-TR", "Turkish"},
                                                    {"uk-UA", "Ukrainian"},
                                                    {"vi-VN", "Vietnamese"},
                                                    {"zh-CN", "Chinese (Simplified)"},
                                                    {"zh-TW", "Chinese (Traditional)"}};
    return targets;
}

std::string languageName(std::string_view identifier) {
    static const std::map<std::string, std::string, std::less<>> labels{
        {"ko-KR", "Korean"},    {"en-US", "English"},        {"ja-JP", "Japanese"},
        {"zh-CN", "Chinese"},   {"zh-TW", "Chinese (Trad)"}, {"ar-SA", "Arabic"},
        {"da-DK", "Danish"},    {"de-DE", "German"},         {"en-GB", "English"},
        {"es-ES", "Spanish"},   {"fi-FI", "Finnish"},        {"fr-FR", "French"},
        {"he-IL", "Hebrew"},    {"hi-IN", "Hindi"},          {"id-ID", "Indonesian"},
        {"it-IT", "Italian"},   {"ms-MY", "Malay"},          {"nb-NO", "Norwegian"},
        {"nl-NL", "Dutch"},     {"pl-PL", "Polish"},         {"pt-BR", "Portuguese"},
        {"ru-RU", "Russian"},   {"sv-SE", "Swedish"},        {"th-TH", "Thai"},
        {"tr-TR", "Turkish"},   {"uk-UA", "Ukrainian"},      {"vi-VN", "Vietnamese"},
        {"yue-CN", "Cantonese"}};
    if (const auto found = labels.find(identifier); found != labels.end())
        return found->second;
    return std::string(identifier);
}

} // namespace Orvinta
