#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Orvinta {

struct LanguageEntry {
    std::string id;
    std::string label;
};

namespace LocaleData {
/// Recognition languages, in picker order.
const std::vector<LanguageEntry> &supportedLocales();
/// Translation target languages, in picker order.
const std::vector<LanguageEntry> &translationTargets();
} // namespace LocaleData

/// Short label of a language identifier; the identifier itself when unknown.
std::string languageName(std::string_view identifier);

} // namespace Orvinta
