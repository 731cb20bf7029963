#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>

namespace Orvinta {

class DesktopNotifier;
class PreferencesStore;
class UpdaterManager;

/// Tells the user of a new version that a background check found: one
/// desktop notification per version (the version is kept in the
/// preferences, so a restart does not repeat it; one that nothing showed is
/// tried again at the next check), and the panel's mark until the user
/// looks at the update window, which its action and the mark open. A check
/// the user asked for answers in that window: its version counts as seen.
class UpdateNotice : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell makes the one update notice")
    /// The panel's "Update available" mark.
    Q_PROPERTY(bool markShown READ markShown NOTIFY markShownChanged)
    Q_PROPERTY(QString version READ version NOTIFY markShownChanged)

public:
    static inline const QString notifiedVersionKey = QStringLiteral("update.notifiedVersion");
    static inline const QString seenVersionKey = QStringLiteral("update.seenVersion");

    /// Without `notifier` there is only the mark.
    UpdateNotice(UpdaterManager &updater, std::shared_ptr<PreferencesStore> store,
                 std::shared_ptr<DesktopNotifier> notifier, QObject *parent = nullptr);
    ~UpdateNotice() override;

    bool markShown() const;
    /// The newer version the last check found; empty when none.
    QString version() const { return m_version; }

    /// The user looks: the mark goes, and the update window is asked for.
    Q_INVOKABLE void open();

Q_SIGNALS:
    void markShownChanged();
    void updateWindowRequested();

private:
    void onCheckFinished(bool userInitiated);
    void notify();
    void setSeen();

    UpdaterManager &m_updater;
    std::shared_ptr<PreferencesStore> m_store;
    std::shared_ptr<DesktopNotifier> m_notifier;
    QString m_version;
    QString m_seen;
    /// The version of the notification on its way.
    QString m_notifying;
};

} // namespace Orvinta
