#pragma once

#include <OrvintaEngine/LocaleData.h>

#include <QString>
#include <QVariantList>

#include <vector>

namespace Orvinta {

/// A language table as a pop-up list reads it: maps with "id" and "label".
QVariantList languageChoices(const std::vector<LanguageEntry> &table);

/// Where `id` stands in `table`; -1 when it is not there.
int languageIndex(const std::vector<LanguageEntry> &table, const QString &id);

} // namespace Orvinta
