#include <OrvintaApp/PreferencesStore.h>

namespace Orvinta {

namespace {

// INI files keep every scalar as text, so a Boolean comes back as "true" or "false".
std::optional<bool> asBool(const QVariant &value) {
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

std::optional<double> asDouble(const QVariant &value) {
    bool ok = false;
    const double d = value.toDouble(&ok);
    if (ok && (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::QString ||
               value.typeId() == QMetaType::Int || value.typeId() == QMetaType::LongLong))
        return d;
    return std::nullopt;
}

} // namespace

// The native format on Linux is an INI file named Orvinta.conf.
PreferencesStore::PreferencesStore()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Orvinta"), QStringLiteral("Orvinta")))
    , m_firstRun(m_settings->allKeys().isEmpty()) {}

PreferencesStore::PreferencesStore(const QString &iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
    , m_firstRun(m_settings->allKeys().isEmpty()) {}

void PreferencesStore::registerDefaults(const QVariantMap &defaults) {
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_defaults.insert(it.key(), it.value());
}

QVariant PreferencesStore::lookup(const QString &key) const {
    if (auto it = m_memory.find(key); it != m_memory.end())
        return *it;
    return m_settings->value(key);
}

void PreferencesStore::write(const QString &key, const QVariant &value) {
    if (m_writesInMemory)
        m_memory.insert(key, value);
    else
        m_settings->setValue(key, value);
}

bool PreferencesStore::boolValue(const QString &key) const {
    if (auto stored = asBool(lookup(key)))
        return *stored;
    return asBool(m_defaults.value(key)).value_or(false);
}

std::optional<QString> PreferencesStore::stringValue(const QString &key) const {
    const QVariant stored = lookup(key);
    if (stored.isValid())
        return stored.typeId() == QMetaType::QString ? std::optional(stored.toString())
                                                     : std::nullopt;
    const QVariant fallback = m_defaults.value(key);
    if (fallback.typeId() == QMetaType::QString)
        return fallback.toString();
    return std::nullopt;
}

double PreferencesStore::doubleValue(const QString &key) const {
    if (auto stored = asDouble(lookup(key)))
        return *stored;
    return asDouble(m_defaults.value(key)).value_or(0.0);
}

std::optional<QByteArray> PreferencesStore::dataValue(const QString &key) const {
    const QVariant stored = lookup(key);
    if (stored.typeId() == QMetaType::QByteArray)
        return stored.toByteArray();
    return std::nullopt;
}

void PreferencesStore::setBool(const QString &key, bool value) {
    write(key, value);
}
void PreferencesStore::setString(const QString &key, const QString &value) {
    write(key, value);
}
void PreferencesStore::setDouble(const QString &key, double value) {
    write(key, value);
}
void PreferencesStore::setData(const QString &key, const QByteArray &value) {
    write(key, value);
}

} // namespace Orvinta
