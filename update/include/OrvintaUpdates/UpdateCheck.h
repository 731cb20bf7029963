#pragma once

#include <OrvintaUpdates/Appcast.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace Orvinta {

/// Whether the feed may be read from `url`: HTTPS, or plain HTTP on this
/// computer's loopback addresses (local testing).
bool isAllowedFeedUrl(const QUrl &url);

/// Text a server chose (a reason phrase, an address) as one line that a
/// terminal or a label shows as written: control characters (escape
/// sequences, line breaks, C1 codes) and bidirectional overrides dropped.
QString printableLine(const QString &text);

struct UpdateCheckOptions {
    QUrl feedUrl;
    /// The running short version, compared with the feed's versions.
    QString currentVersion;
    /// The whole check, redirects and a slow body included.
    std::chrono::milliseconds timeout = std::chrono::seconds(30);
    qsizetype maxBytes = maxAppcastBytes;
    /// Certificates to trust besides the system's (tests, private mirrors).
    std::optional<QSslConfiguration> ssl;
};

struct UpdateCheckResult {
    enum class Outcome { upToDate, updateAvailable, failed };
    Outcome outcome = Outcome::failed;
    QString currentVersion;
    /// The feed's newest release, whenever the feed could be read.
    std::optional<AppcastItem> newest;
    /// Why the check failed: one line for the user.
    QString error;

    /// "Orvinta 1.4 is up to date", "Orvinta 1.5 is available (you have
    /// 1.4)", or the error.
    QString message() const;
};

/// One reading of the update feed, asynchronous on the calling thread:
/// finished() comes exactly once, whatever the server does.
class UpdateCheck : public QObject {
    Q_OBJECT
public:
    UpdateCheck(QNetworkAccessManager &network, UpdateCheckOptions options,
                QObject *parent = nullptr);
    ~UpdateCheck() override;

    void start();
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    void finished(const Orvinta::UpdateCheckResult &result);

private:
    /// Redirects followed in one check; one more is an error.
    static constexpr int maxRedirects = 5;

    void request(const QUrl &url);
    void followRedirect(const QUrl &target);
    void onReadyRead();
    void onReplyFinished();
    void fail(const QString &error);
    void finish(UpdateCheckResult result);
    void dropReply();

    QNetworkAccessManager &m_network;
    UpdateCheckOptions m_options;
    QPointer<QNetworkReply> m_reply;
    QUrl m_currentUrl;
    /// Every address asked for in this check, redirects included.
    QList<QUrl> m_visited;
    QByteArray m_body;
    QTimer m_deadline;
    bool m_running = false;
};

} // namespace Orvinta

Q_DECLARE_METATYPE(Orvinta::UpdateCheckResult)
