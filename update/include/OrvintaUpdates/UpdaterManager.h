#pragma once

#include <OrvintaUpdates/UpdateCheck.h>

#include <QDateTime>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace Orvinta {

class PreferencesStore;

/// Checks the update feed once a day and when the user asks. The last
/// check's time is kept in the preferences, so a day is a day across
/// restarts. Nothing here blocks: the feed is read asynchronously and the
/// outcome arrives through the properties.
class UpdaterManager : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell makes the one updater")
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    /// False while a check runs ("Check for Updates..." is disabled then).
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(State state READ state NOTIFY stateChanged)
    /// What a dialog says about the last check: up to date, available, or the error.
    Q_PROPERTY(QString message READ message NOTIFY stateChanged)
    /// Whether the state comes from a check the user asked for.
    Q_PROPERTY(bool userInitiated READ isUserInitiated NOTIFY stateChanged)
    Q_PROPERTY(QString availableVersion READ availableVersion NOTIFY stateChanged)
    /// The available release's notes as a rich-text document; empty without notes.
    Q_PROPERTY(QString releaseNotesHtml READ releaseNotesHtml NOTIFY stateChanged)
    /// Where the user downloads the available release.
    Q_PROPERTY(QUrl downloadUrl READ downloadUrl NOTIFY stateChanged)
    Q_PROPERTY(QUrl feedUrl READ feedUrl WRITE setFeedUrl NOTIFY feedUrlChanged)
    Q_PROPERTY(QDateTime lastCheckTime READ lastCheckTime NOTIFY lastCheckTimeChanged)
    /// When the next automatic check is due; invalid while automatic checks are off.
    Q_PROPERTY(
        QDateTime nextAutomaticCheck READ nextAutomaticCheck NOTIFY nextAutomaticCheckChanged)
    Q_PROPERTY(QString currentVersion READ currentVersion CONSTANT)

public:
    enum class State { idle, checking, upToDate, updateAvailable, failed };
    Q_ENUM(State)

    static inline const QString automaticChecksKey = QStringLiteral("update.automaticallyChecks");
    static inline const QString lastCheckTimeKey = QStringLiteral("update.lastCheckTime");
    static inline const QString feedUrlKey = QStringLiteral("update.feedURL");

    struct Options {
        /// Now, in UTC.
        std::function<QDateTime()> clock = [] { return QDateTime::currentDateTimeUtc(); };
        std::chrono::milliseconds timeout = std::chrono::seconds(30);
        std::chrono::milliseconds checkInterval = std::chrono::hours(24);
        /// The running short version.
        QString currentVersion;
        std::optional<QSslConfiguration> ssl;
    };

    /// The running program's version and real time.
    explicit UpdaterManager(std::shared_ptr<PreferencesStore> store, QObject *parent = nullptr);
    UpdaterManager(std::shared_ptr<PreferencesStore> store, Options options,
                   QObject *parent = nullptr);
    ~UpdaterManager() override;

    bool automaticallyChecksForUpdates() const { return m_automatic; }
    void setAutomaticallyChecksForUpdates(bool on);
    bool canCheckForUpdates() const { return !m_check; }
    State state() const { return m_state; }
    QString message() const { return m_message; }
    bool isUserInitiated() const { return m_userInitiated; }
    QString availableVersion() const;
    QString releaseNotesHtml() const;
    QUrl downloadUrl() const;
    QUrl feedUrl() const { return m_feedUrl; }
    /// An empty address goes back to the project's feed.
    void setFeedUrl(const QUrl &url);
    QDateTime lastCheckTime() const { return m_lastCheck; }
    QDateTime nextAutomaticCheck() const { return m_nextCheck; }
    QString currentVersion() const { return m_options.currentVersion; }
    /// The newest release the last successful check found.
    const std::optional<AppcastItem> &newestRelease() const { return m_newest; }

    /// Starts the daily schedule (the start-up job a few seconds after
    /// launch): checks in the background at once when automatic checks are
    /// on and the last check is a day old or more, and keeps checking daily.
    Q_INVOKABLE void startAutomaticChecks();
    /// The user's "Check for Updates...": checks now. During a background
    /// check, that check's outcome becomes the user's.
    Q_INVOKABLE void checkForUpdates();

Q_SIGNALS:
    void automaticallyChecksForUpdatesChanged();
    void canCheckForUpdatesChanged();
    void stateChanged();
    void feedUrlChanged();
    void lastCheckTimeChanged();
    void nextAutomaticCheckChanged();
    /// A check ended; the state and message say how.
    void checkFinished(bool userInitiated);

private:
    void beginCheck(bool userInitiated);
    void onCheckFinished(const UpdateCheckResult &result);
    void schedule();
    void onScheduleTimer();
    QDateTime dueTime() const;
    void setState(State state, const QString &message);

    std::shared_ptr<PreferencesStore> m_store;
    Options m_options;
    QNetworkAccessManager *m_network = nullptr;
    UpdateCheck *m_check = nullptr;
    QTimer m_scheduleTimer;
    bool m_automatic = true;
    bool m_scheduleStarted = false;
    bool m_userInitiated = false;
    State m_state = State::idle;
    QString m_message;
    std::optional<AppcastItem> m_newest;
    QUrl m_feedUrl;
    QDateTime m_lastCheck;
    QDateTime m_nextCheck;
};

} // namespace Orvinta
