#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/NotesHtml.h>
#include <OrvintaUpdates/UpdateLog.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QNetworkAccessManager>

#include <algorithm>

namespace Orvinta {

namespace {

UpdaterManager::Options runningProgram() {
    UpdaterManager::Options options;
    options.currentVersion = AppVersion::shortVersion();
    return options;
}

// The schedule looks at the wall clock at least this often, so that a
// suspended computer or a changed clock delays a due check by no more.
constexpr std::chrono::milliseconds longestWait = std::chrono::hours(1);

} // namespace

UpdaterManager::UpdaterManager(std::shared_ptr<PreferencesStore> store, QObject *parent)
    : UpdaterManager(std::move(store), runningProgram(), parent) {}

UpdaterManager::UpdaterManager(std::shared_ptr<PreferencesStore> store, Options options,
                               QObject *parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_options(std::move(options)) {
    if (m_options.currentVersion.isEmpty())
        m_options.currentVersion = AppVersion::shortVersion();
    m_store->registerDefaults({{automaticChecksKey, true}});
    m_automatic = m_store->boolValue(automaticChecksKey);
    const QUrl stored(m_store->stringValue(feedUrlKey).value_or(QString()));
    m_feedUrl = stored.isEmpty() ? AppVersion::defaultFeedUrl() : stored;
    m_lastCheck = QDateTime::fromString(m_store->stringValue(lastCheckTimeKey).value_or(QString()),
                                        Qt::ISODateWithMs);
    m_scheduleTimer.setSingleShot(true);
    connect(&m_scheduleTimer, &QTimer::timeout, this, &UpdaterManager::onScheduleTimer);
}

UpdaterManager::~UpdaterManager() = default;

void UpdaterManager::setAutomaticallyChecksForUpdates(bool on) {
    m_store->setBool(automaticChecksKey, on);
    if (on == m_automatic)
        return;
    m_automatic = on;
    qCInfo(lcUpdater) << "Automatic update checks" << (on ? "on" : "off");
    Q_EMIT automaticallyChecksForUpdatesChanged();
    schedule();
}

QString UpdaterManager::availableVersion() const {
    return m_state == State::updateAvailable && m_newest ? m_newest->displayedVersion() : QString();
}

QString UpdaterManager::releaseNotesHtml() const {
    if (m_state != State::updateAvailable || !m_newest || m_newest->descriptionHtml.isEmpty())
        return QString();
    return NotesHtml::document(m_newest->descriptionHtml);
}

QUrl UpdaterManager::downloadUrl() const {
    if (m_state != State::updateAvailable || !m_newest)
        return QUrl();
    // The window hands it to the desktop, which opens any scheme.
    const QUrl page = m_newest->downloadPage();
    return isSecureWebAddress(page) ? page : QUrl();
}

void UpdaterManager::setFeedUrl(const QUrl &url) {
    const QUrl feed = url.isEmpty() ? AppVersion::defaultFeedUrl() : url;
    m_store->setString(feedUrlKey, url.isEmpty() ? QString() : url.toString());
    if (feed == m_feedUrl)
        return;
    m_feedUrl = feed;
    Q_EMIT feedUrlChanged();
}

void UpdaterManager::startAutomaticChecks() {
    m_scheduleStarted = true;
    schedule();
}

void UpdaterManager::checkForUpdates() {
    if (m_check) {
        if (!m_userInitiated) {
            m_userInitiated = true;
            Q_EMIT stateChanged();
        }
        return;
    }
    beginCheck(true);
}

void UpdaterManager::beginCheck(bool userInitiated) {
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    m_lastCheck = m_options.clock();
    m_store->setString(lastCheckTimeKey, m_lastCheck.toUTC().toString(Qt::ISODateWithMs));
    Q_EMIT lastCheckTimeChanged();

    UpdateCheckOptions options;
    options.feedUrl = m_feedUrl;
    options.currentVersion = m_options.currentVersion;
    options.timeout = m_options.timeout;
    options.ssl = m_options.ssl;
    m_check = new UpdateCheck(*m_network, std::move(options), this);
    connect(m_check, &UpdateCheck::finished, this, &UpdaterManager::onCheckFinished);
    m_userInitiated = userInitiated;
    m_newest.reset();
    setState(State::checking, QStringLiteral("Checking for updates…"));
    Q_EMIT canCheckForUpdatesChanged();
    m_check->start();
    schedule();
}

void UpdaterManager::onCheckFinished(const UpdateCheckResult &result) {
    m_check->deleteLater();
    m_check = nullptr;
    switch (result.outcome) {
    case UpdateCheckResult::Outcome::upToDate:
        m_newest = result.newest;
        setState(State::upToDate, result.message());
        break;
    case UpdateCheckResult::Outcome::updateAvailable:
        m_newest = result.newest;
        setState(State::updateAvailable, result.message());
        break;
    case UpdateCheckResult::Outcome::failed:
        setState(State::failed, result.message());
        break;
    }
    Q_EMIT canCheckForUpdatesChanged();
    Q_EMIT checkFinished(m_userInitiated);
    schedule();
}

QDateTime UpdaterManager::dueTime() const {
    const QDateTime now = m_options.clock();
    // A last check in the future means the clock was wrong then or is now;
    // waiting for it could mean never checking.
    if (!m_lastCheck.isValid() || m_lastCheck > now)
        return now;
    return m_lastCheck.addMSecs(m_options.checkInterval.count());
}

void UpdaterManager::schedule() {
    m_scheduleTimer.stop();
    QDateTime next;
    if (m_automatic && m_scheduleStarted) {
        next = dueTime();
        const qint64 wait =
            std::clamp<qint64>(m_options.clock().msecsTo(next), 0, longestWait.count());
        m_scheduleTimer.start(std::chrono::milliseconds(wait));
    }
    if (next != m_nextCheck) {
        m_nextCheck = next;
        Q_EMIT nextAutomaticCheckChanged();
    }
}

void UpdaterManager::onScheduleTimer() {
    if (!m_automatic)
        return;
    if (!m_check && dueTime() <= m_options.clock()) {
        qCInfo(lcUpdater) << "Automatic update check";
        beginCheck(false);
        return;
    }
    schedule();
}

void UpdaterManager::setState(State state, const QString &message) {
    m_state = state;
    m_message = message;
    Q_EMIT stateChanged();
}

} // namespace Orvinta
