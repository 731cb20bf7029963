#include <OrvintaUi/LanguageSelection.h>

#include <OrvintaApp/Preferences.h>
#include <OrvintaEngineBackends/LocaleData.h>

#include <QVariantMap>

#include <algorithm>

namespace Orvinta {

namespace {

QVariantList choices(const std::vector<LanguageEntry> &table) {
    QVariantList list;
    for (const LanguageEntry &entry : table)
        list.append(QVariantMap{{QStringLiteral("id"), QString::fromStdString(entry.id)},
                                {QStringLiteral("label"), QString::fromStdString(entry.label)}});
    return list;
}

int indexOf(const std::vector<LanguageEntry> &table, const QString &id) {
    const std::string wanted = id.toStdString();
    const auto found = std::find_if(table.begin(), table.end(),
                                    [&](const LanguageEntry &entry) { return entry.id == wanted; });
    return found == table.end() ? -1 : static_cast<int>(found - table.begin());
}

std::optional<QString> idAt(const std::vector<LanguageEntry> &table, int index) {
    if (index < 0 || index >= static_cast<int>(table.size()))
        return std::nullopt;
    return QString::fromStdString(table[static_cast<std::size_t>(index)].id);
}

} // namespace

LanguageSelection::LanguageSelection(Preferences &preferences, QObject *parent)
    : QObject(parent)
    , m_preferences(preferences) {
    connect(&preferences, &Preferences::selectedLocaleChanged, this, &LanguageSelection::changed);
    connect(&preferences, &Preferences::targetLanguageChanged, this, &LanguageSelection::changed);
}

QVariantList LanguageSelection::sourceLanguages() {
    return choices(LocaleData::supportedLocales());
}

QVariantList LanguageSelection::targetLanguages() {
    return choices(LocaleData::translationTargets());
}

int LanguageSelection::sourceIndex() const {
    return indexOf(LocaleData::supportedLocales(), m_preferences.selectedLocale());
}

int LanguageSelection::targetIndex() const {
    return indexOf(LocaleData::translationTargets(), m_preferences.targetLanguage());
}

bool LanguageSelection::canSwap() const {
    const QString source = m_preferences.selectedLocale();
    const QString target = m_preferences.targetLanguage();
    return indexOf(LocaleData::translationTargets(), source) >= 0 &&
           indexOf(LocaleData::supportedLocales(), target) >= 0 && source != target;
}

bool LanguageSelection::sameLanguage() const {
    return m_preferences.selectedLocale() == m_preferences.targetLanguage();
}

void LanguageSelection::selectSource(int index) {
    if (const auto id = idAt(LocaleData::supportedLocales(), index))
        m_preferences.setSelectedLocale(*id);
}

void LanguageSelection::selectTarget(int index) {
    if (const auto id = idAt(LocaleData::translationTargets(), index))
        m_preferences.setTargetLanguage(*id);
}

void LanguageSelection::swap() {
    if (!canSwap())
        return;
    const QString source = m_preferences.selectedLocale();
    m_preferences.setSelectedLocale(m_preferences.targetLanguage());
    m_preferences.setTargetLanguage(source);
}

} // namespace Orvinta
