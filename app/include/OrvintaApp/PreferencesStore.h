#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace Orvinta {

/// The per-user preferences: typed reads with registered fallbacks, and
/// writes that later reads (in this run and later ones) see.
class PreferencesStore {
public:
    /// The user's store, ~/.config/Orvinta/Orvinta.conf.
    PreferencesStore();
    /// A store in the given INI file (tests, other tools).
    explicit PreferencesStore(const QString &iniPath);

    /// Fallbacks for keys never written; registering writes nothing.
    void registerDefaults(const QVariantMap &defaults);

    /// The stored Boolean, else the registered default, else false. A stored
    /// value that is not a Boolean reads as the default.
    bool boolValue(const QString &key) const;
    /// The stored string, else the registered default; nothing when neither
    /// is a string.
    std::optional<QString> stringValue(const QString &key) const;
    double doubleValue(const QString &key) const;
    std::optional<QByteArray> dataValue(const QString &key) const;

    void setBool(const QString &key, bool value);
    void setString(const QString &key, const QString &value);
    void setDouble(const QString &key, double value);
    void setData(const QString &key, const QByteArray &value);

    QString fileName() const { return m_settings->fileName(); }
    /// Whether nothing was stored when the store was opened: Orvinta's first start.
    bool isFirstRun() const { return m_firstRun; }

    /// From now on writes stay in memory: a command-line run reads the
    /// user's choices and may override them without changing them.
    void keepWritesInMemory() { m_writesInMemory = true; }

private:
    QVariant lookup(const QString &key) const;
    void write(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_defaults;
    QVariantMap m_memory;
    bool m_writesInMemory = false;
    bool m_firstRun = false;
};

} // namespace Orvinta
