#include <OrvintaUi/LanguageChoices.h>

#include <QVariantMap>

#include <algorithm>

namespace Orvinta {

QVariantList languageChoices(const std::vector<LanguageEntry> &table) {
    QVariantList list;
    for (const LanguageEntry &entry : table)
        list.append(QVariantMap{{QStringLiteral("id"), QString::fromStdString(entry.id)},
                                {QStringLiteral("label"), QString::fromStdString(entry.label)}});
    return list;
}

int languageIndex(const std::vector<LanguageEntry> &table, const QString &id) {
    const std::string wanted = id.toStdString();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const LanguageEntry &entry) { return entry.id == wanted; });
    return found == table.end() ? -1 : static_cast<int>(found - table.begin());
}

} // namespace Orvinta
