#pragma once

// A small HTTP(S) server on the loopback address that serves update feeds,
// redirects, endless bodies and silence, with a certificate made for the
// test run and trusted only where a test says so.

#include "AppTestSupport.h"

#include <QHash>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QUrl>

#include <numeric>

namespace OrvintaTest {

struct FeedResponse {
    enum class Kind { normal, silent, endless };
    Kind kind = Kind::normal;
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray reason; // of the status line

    static FeedResponse feed(QByteArray xml) {
        return {Kind::normal, 200, std::move(xml), {}, "OK"};
    }
    static FeedResponse redirect(const QUrl &to) {
        return {Kind::normal, 302, {}, {{"Location", to.toEncoded()}}, "Found"};
    }
    /// An error status with whatever reason phrase the server likes.
    static FeedResponse error(int status, QByteArray reason) {
        return {Kind::normal, status, {}, {}, std::move(reason)};
    }
    /// Accepts the request and never answers.
    static FeedResponse silent() { return {Kind::silent, 0, {}, {}, {}}; }
    /// Sends a well-formed start and then data without end.
    static FeedResponse endless() { return {Kind::endless, 200, {}, {}, "OK"}; }
};

/// The self-signed certificate of this test run (made once with `openssl`).
struct TestCertificate {
    QString certificatePath;
    QString keyPath;
    static const TestCertificate &get();
};

/// A client configuration that trusts the system's authorities and the test certificate.
QSslConfiguration trustingTestCertificate();

class TestFeedServer : public QObject {
    Q_OBJECT
public:
    enum class Scheme { https, http };
    explicit TestFeedServer(Scheme scheme = Scheme::https);

    QUrl url(const QString &path) const;
    void serve(const QString &path, FeedResponse response);
    int requests(const QString &path) const { return m_requests.value(path); }
    int totalRequests() const { return std::accumulate(m_requests.begin(), m_requests.end(), 0); }

private:
    void onConnection(class QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QString &path);

    Scheme m_scheme;
    std::unique_ptr<QTcpServer> m_server;
    QHash<QString, FeedResponse> m_routes;
    QHash<QString, int> m_requests;
};

/// An appcast with one release per (short version, notes) pair; notes may be empty.
QByteArray appcastXml(const QList<QPair<QString, QString>> &releases);

} // namespace OrvintaTest
