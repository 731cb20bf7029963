#include "TestFeedServer.h"

#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

namespace OrvintaTest {

const TestCertificate &TestCertificate::get() {
    static QTemporaryDir folder;
    static const TestCertificate certificate = [] {
        TestCertificate made{folder.filePath("cert.pem"), folder.filePath("key.pem")};
        if (QProcess::execute("openssl",
                              {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                               "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", made.keyPath,
                               "-out", made.certificatePath, "-days", "2", "-subj", "/CN=localhost",
                               "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"}) != 0)
            ADD_FAILURE() << "openssl could not make a certificate";
        return made;
    }();
    return certificate;
}

QSslConfiguration trustingTestCertificate() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(TestCertificate::get().certificatePath);
    return configuration;
}

TestFeedServer::TestFeedServer(Scheme scheme)
    : m_scheme(scheme) {
    if (scheme == Scheme::https) {
        auto server = std::make_unique<QSslServer>();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        const TestCertificate &certificate = TestCertificate::get();
        configuration.setLocalCertificate(
            QSslCertificate::fromPath(certificate.certificatePath).value(0));
        configuration.setPrivateKey(
            QSslKey(Orvinta::Testing::readAll(certificate.keyPath), QSsl::Ec));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server->setSslConfiguration(configuration);
        m_server = std::move(server);
    } else {
        m_server = std::make_unique<QTcpServer>();
    }
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection())
            onConnection(socket);
    });
    EXPECT_TRUE(m_server->listen(QHostAddress::LocalHost)) << m_server->errorString().toStdString();
}

QUrl TestFeedServer::url(const QString &path) const {
    return QUrl(QString("%1://127.0.0.1:%2%3")
                    .arg(m_scheme == Scheme::https ? "https" : "http")
                    .arg(m_server->serverPort())
                    .arg(path));
}

void TestFeedServer::serve(const QString &path, FeedResponse response) {
    m_routes.insert(path, std::move(response));
}

void TestFeedServer::onConnection(QTcpSocket *socket) {
    socket->setParent(this);
    auto request = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
        if (request->endsWith("\r\n\r\n"))
            return;
        *request += socket->readAll();
        const qsizetype end = request->indexOf("\r\n\r\n");
        if (end < 0)
            return;
        request->truncate(end + 4);
        answer(socket,
               QString::fromLatin1(request->left(request->indexOf("\r\n")).split(' ').value(1)));
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void TestFeedServer::answer(QTcpSocket *socket, const QString &path) {
    m_requests[path] += 1;
    const FeedResponse response = m_routes.value(path, FeedResponse::error(404, "Not Found"));
    if (response.kind == FeedResponse::Kind::silent)
        return;
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) + " " + response.reason + "\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "Content-Type: application/rss+xml\r\nConnection: close\r\n";
    if (response.kind == FeedResponse::Kind::endless) {
        // No length: the body ends only when the connection does.
        socket->write(head + "\r\n<?xml version=\"1.0\"?><rss version=\"2.0\"><channel>");
        const QByteArray filler = QByteArray("<!-- more -->").repeated(5000);
        // Fed only as the peer reads, and bounded, so a client that never
        // stops reading ends the test instead of exhausting memory.
        auto sent = std::make_shared<qint64>(0);
        const auto more = [socket, filler, sent] {
            auto *ssl = qobject_cast<QSslSocket *>(socket);
            const qint64 queued = socket->bytesToWrite() + (ssl ? ssl->encryptedBytesToWrite() : 0);
            if (socket->state() == QAbstractSocket::ConnectedState && queued < filler.size() &&
                *sent < 64 * 1024 * 1024) {
                socket->write(filler);
                *sent += filler.size();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, more);
        if (auto *ssl = qobject_cast<QSslSocket *>(socket))
            connect(ssl, &QSslSocket::encryptedBytesWritten, socket, more);
        more();
        return;
    }
    socket->write(head + "Content-Length: " + QByteArray::number(response.body.size()) +
                  "\r\n\r\n" + response.body);
    socket->disconnectFromHost();
}

QByteArray appcastXml(const QList<QPair<QString, QString>> &releases) {
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                     "<rss version=\"2.0\" "
                     "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">\n"
                     "<channel><title>Orvinta</title>\n";
    for (const auto &[version, notes] : releases) {
        const QByteArray v = version.toUtf8();
        xml += "<item><title>Orvinta " + v + "</title>\n<sparkle:version>" + v +
               "</sparkle:version>\n<sparkle:shortVersionString>" + v +
               "</sparkle:shortVersionString>\n";
        if (!notes.isEmpty())
            xml += "<description><![CDATA[" + notes.toUtf8() + "]]></description>\n";
        xml += "<enclosure url=\"https://orvinta.app/downloads/orvinta-" + v +
               ".tar.gz\" type=\"application/gzip\"/>\n</item>\n";
    }
    return xml + "</channel></rss>\n";
}

} // namespace OrvintaTest
