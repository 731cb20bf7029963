#include <OrvintaUpdates/DesktopNotifier.h>
#include <OrvintaUpdates/UpdateLog.h>
#include <OrvintaUpdates/UpdateNotice.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <OrvintaApp/PreferencesStore.h>

namespace Orvinta {

UpdateNotice::UpdateNotice(UpdaterManager &updater, std::shared_ptr<PreferencesStore> store,
                           std::shared_ptr<DesktopNotifier> notifier, QObject *parent)
    : QObject(parent)
    , m_updater(updater)
    , m_store(std::move(store))
    , m_notifier(std::move(notifier))
    , m_seen(m_store->stringValue(seenVersionKey).value_or(QString())) {
    connect(&m_updater, &UpdaterManager::checkFinished, this, &UpdateNotice::onCheckFinished);
    if (!m_notifier)
        return;
    connect(m_notifier.get(), &DesktopNotifier::shown, this, [this] {
        if (!m_notifying.isEmpty())
            m_store->setString(notifiedVersionKey, m_notifying);
        m_notifying.clear();
    });
    connect(m_notifier.get(), &DesktopNotifier::failed, this, [this](const QString &reason) {
        qCWarning(lcUpdater, "No desktop notification for Orvinta %s (%s); the panel marks it",
                  qUtf8Printable(m_notifying), qUtf8Printable(reason));
        m_notifying.clear();
    });
    connect(m_notifier.get(), &DesktopNotifier::actionInvoked, this, &UpdateNotice::open);
    connect(m_notifier.get(), &DesktopNotifier::closed, this,
            [] { qCDebug(lcUpdater, "The update notification closed"); });
}

UpdateNotice::~UpdateNotice() = default;

bool UpdateNotice::markShown() const {
    return !m_version.isEmpty() && m_version != m_seen;
}

void UpdateNotice::open() {
    const bool wasShown = markShown();
    if (!m_version.isEmpty())
        setSeen();
    if (wasShown)
        Q_EMIT markShownChanged();
    Q_EMIT updateWindowRequested();
}

void UpdateNotice::onCheckFinished(bool userInitiated) {
    const QString before = m_version;
    const bool wasShown = markShown();
    switch (m_updater.state()) {
    case UpdaterManager::State::updateAvailable:
        m_version = m_updater.availableVersion();
        break;
    case UpdaterManager::State::upToDate:
        m_version.clear();
        break;
    default:
        // A failed check knows nothing new.
        return;
    }
    if (userInitiated && !m_version.isEmpty())
        setSeen();
    if (m_version != before || markShown() != wasShown)
        Q_EMIT markShownChanged();
    if (markShown() && m_store->stringValue(notifiedVersionKey).value_or(QString()) != m_version)
        notify();
}

void UpdateNotice::notify() {
    if (!m_notifier || m_notifying == m_version)
        return;
    m_notifying = m_version;
    m_notifier->notify({QStringLiteral("Orvinta %1 is available").arg(m_version),
                        QStringLiteral("You have version %1. See what is new and download it.")
                            .arg(m_updater.currentVersion()),
                        QStringLiteral("View Update")});
}

void UpdateNotice::setSeen() {
    m_seen = m_version;
    m_store->setString(seenVersionKey, m_version);
}

} // namespace Orvinta
