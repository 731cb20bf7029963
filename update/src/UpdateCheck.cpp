#include <OrvintaUpdates/UpdateCheck.h>
#include <OrvintaUpdates/UpdateLog.h>
#include <OrvintaUpdates/Version.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace Orvinta {

namespace {

QString seconds(std::chrono::milliseconds duration) {
    const auto ms = duration.count();
    const QString number =
        ms % 1000 == 0 ? QString::number(ms / 1000) : QString::number(double(ms) / 1000.0);
    return number + (ms == 1000 ? QStringLiteral(" second") : QStringLiteral(" seconds"));
}

} // namespace

bool isAllowedFeedUrl(const QUrl &url) {
    return isSecureWebAddress(url);
}

QString printableLine(const QString &text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\t' || u == '\n' || u == '\r')
            line += QLatin1Char(' ');
        else if (c.category() != QChar::Other_Control && !(u >= 0x202A && u <= 0x202E) &&
                 !(u >= 0x2066 && u <= 0x2069))
            line += c;
    }
    return line.simplified();
}

QString UpdateCheckResult::message() const {
    switch (outcome) {
    case Outcome::upToDate:
        return QStringLiteral("Orvinta %1 is up to date").arg(currentVersion);
    case Outcome::updateAvailable:
        return QStringLiteral("Orvinta %1 is available (you have %2)")
            .arg(newest ? newest->displayedVersion() : QString(), currentVersion);
    case Outcome::failed:
        break;
    }
    return error;
}

UpdateCheck::UpdateCheck(QNetworkAccessManager &network, UpdateCheckOptions options,
                         QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_options(std::move(options)) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        fail(QStringLiteral("The update check timed out after %1").arg(seconds(m_options.timeout)));
    });
}

UpdateCheck::~UpdateCheck() {
    dropReply();
}

void UpdateCheck::start() {
    if (m_running)
        return;
    m_running = true;
    m_body.clear();
    const QUrl &url = m_options.feedUrl;
    if (!isAllowedFeedUrl(url)) {
        // Reported from the event loop, as every other outcome is.
        QTimer::singleShot(0, this, [this, url] {
            fail(QStringLiteral("The update feed address must use HTTPS: %1")
                     .arg(url.toDisplayString()));
        });
        return;
    }
    qCInfo(lcUpdater).noquote() << "Checking for updates at" << url.toDisplayString();
    m_visited.clear();
    request(url);
    m_deadline.start(m_options.timeout);
}

void UpdateCheck::request(const QUrl &url) {
    // Redirects are followed here, one request at a time, so that every hop
    // is checked and a loop is recognised as one.
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Orvinta/%1").arg(m_options.currentVersion));
    if (m_options.ssl)
        request.setSslConfiguration(*m_options.ssl);
    m_currentUrl = url;
    m_visited.append(url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash));
    m_body.clear();
    m_reply = m_network.get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateCheck::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateCheck::onReplyFinished);
}

void UpdateCheck::followRedirect(const QUrl &target) {
    const QUrl from = m_currentUrl;
    const QUrl to = from.resolved(target);
    const bool leavesHttps = from.scheme().toLower() == QLatin1String("https") &&
                             to.scheme().toLower() != QLatin1String("https");
    if (leavesHttps || !isAllowedFeedUrl(to)) {
        fail(QStringLiteral("The update feed redirected to an address that is not secure: %1")
                 .arg(to.toDisplayString()));
        return;
    }
    if (m_visited.contains(to.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash))) {
        fail(QStringLiteral("The update feed could not be read: it redirects in a loop (back to "
                            "%1)")
                 .arg(to.toDisplayString()));
        return;
    }
    if (m_visited.size() > maxRedirects) {
        fail(QStringLiteral("The update feed could not be read: too many redirects (more than %1)")
                 .arg(maxRedirects));
        return;
    }
    qCDebug(lcUpdater).noquote() << "Following redirect to" << to.toDisplayString();
    dropReply();
    request(to);
}

void UpdateCheck::onReadyRead() {
    if (!m_reply)
        return;
    // Read one byte past the cap, so that "exactly at the cap" still passes.
    m_body += m_reply->read(m_options.maxBytes + 1 - m_body.size());
    if (m_body.size() > m_options.maxBytes)
        fail(QStringLiteral("The update feed is larger than %1 KB").arg(m_options.maxBytes / 1024));
}

void UpdateCheck::onReplyFinished() {
    if (!m_reply || !m_running)
        return;
    onReadyRead();
    if (!m_running)
        return;
    QNetworkReply *reply = m_reply;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status >= 300 && status < 400 && target.isValid()) {
        followRedirect(target);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        fail(QStringLiteral("The update feed could not be read: %1").arg(reply->errorString()));
        return;
    }
    if (status != 200) {
        fail(QStringLiteral("The update feed could not be read: the server answered %1")
                 .arg(status));
        return;
    }
    QString parseError;
    const auto items = parseAppcast(m_body, &parseError);
    if (!items) {
        fail(QStringLiteral("The update feed cannot be understood: %1").arg(parseError));
        return;
    }
    UpdateCheckResult result;
    result.currentVersion = m_options.currentVersion;
    result.newest = newestItem(*items);
    if (!result.newest) {
        fail(QStringLiteral("The update feed cannot be understood: it lists no release with a "
                            "version"));
        return;
    }
    result.outcome = isNewerVersion(result.newest->displayedVersion(), m_options.currentVersion)
                         ? UpdateCheckResult::Outcome::updateAvailable
                         : UpdateCheckResult::Outcome::upToDate;
    finish(std::move(result));
}

void UpdateCheck::fail(const QString &error) {
    if (!m_running)
        return;
    UpdateCheckResult result;
    result.currentVersion = m_options.currentVersion;
    // The reason may quote the server, which may say anything.
    result.error = printableLine(error);
    finish(std::move(result));
}

void UpdateCheck::finish(UpdateCheckResult result) {
    m_running = false;
    m_deadline.stop();
    dropReply();
    m_body.clear();
    if (result.outcome == UpdateCheckResult::Outcome::failed)
        qCCritical(lcUpdater).noquote() << "Update check failed:" << result.error;
    else
        qCInfo(lcUpdater).noquote() << result.message();
    Q_EMIT finished(result);
}

void UpdateCheck::dropReply() {
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

} // namespace Orvinta
