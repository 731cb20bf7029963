#include "UpdateCommands.h"

#include "CliSupport.h"

#include <OrvintaApp/PreferencesStore.h>
#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/UpdateCheck.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <cerrno>
#include <cstdio>

namespace Orvinta {

namespace {

using Cli::fail;

int printLines(const QStringList &lines) {
    for (const QString &line : lines)
        if (!Cli::print(printableLine(line)))
            break;
    // A reader that went away is no failure of the check.
    return Cli::outputStatus();
}

} // namespace

int checkUpdateCommand(QCoreApplication &app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Checks whether a newer Orvinta is available."));
    parser.addHelpOption();
    const QCommandLineOption feedOption(
        QStringLiteral("feed"),
        QStringLiteral("the update feed (default: Orvinta's setting, else %1)")
            .arg(AppVersion::defaultFeedUrl().toString()),
        QStringLiteral("url"));
    const QCommandLineOption caOption(
        QStringLiteral("ca-file"), QStringLiteral("also trust the certificates in this PEM file"),
        QStringLiteral("pem"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"), QStringLiteral("give up after this many seconds (at most 30)"),
        QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("log each step on standard error"));
    parser.addOptions({feedOption, caOption, timeoutOption, verboseOption});

    QStringList arguments = app.arguments();
    arguments.removeAt(1); // the command itself
    if (!parser.parse(arguments)) {
        fail(parser.errorText());
        return 2;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(
            parser.helpText()
                .replace(QStringLiteral("[options]"), QStringLiteral("check-update [options]"))
                .toUtf8()
                .constData(),
            stdout);
        return 0;
    }
    if (!parser.positionalArguments().isEmpty()) {
        fail(QStringLiteral("usage: orvinta-cli check-update [--feed URL] [--ca-file PEM] "
                            "[--timeout SECONDS]"));
        return 2;
    }

    UpdateCheckOptions options;
    options.currentVersion = AppVersion::shortVersion();
    if (parser.isSet(feedOption)) {
        options.feedUrl = QUrl(parser.value(feedOption), QUrl::StrictMode);
        if (!options.feedUrl.isValid() || options.feedUrl.isRelative()) {
            fail(QStringLiteral("\"%1\" is not an address").arg(parser.value(feedOption)));
            return 2;
        }
    } else {
        PreferencesStore preferences;
        const QUrl stored(preferences.stringValue(UpdaterManager::feedUrlKey).value_or(QString()));
        options.feedUrl = stored.isEmpty() ? AppVersion::defaultFeedUrl() : stored;
    }
    bool ok = false;
    const double seconds = parser.value(timeoutOption).toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 30) {
        fail(QStringLiteral("--timeout takes a number of seconds above 0 and at most 30"));
        return 2;
    }
    options.timeout = std::chrono::milliseconds(qint64(seconds * 1000));
    if (parser.isSet(caOption)) {
        const QString path = parser.value(caOption);
        const QList<QSslCertificate> certificates =
            QSslCertificate::fromPath(path, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
        if (certificates.isEmpty()) {
            fail(QStringLiteral("no PEM certificate can be read from %1").arg(path));
            return 2;
        }
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        ssl.addCaCertificates(certificates);
        options.ssl = ssl;
    }

    QNetworkAccessManager network;
    UpdateCheck check(network, std::move(options));
    UpdateCheckResult result;
    QObject::connect(&check, &UpdateCheck::finished, &app, [&](const UpdateCheckResult &r) {
        result = r;
        QCoreApplication::exit(0);
    });
    check.start();
    app.exec();

    switch (result.outcome) {
    case UpdateCheckResult::Outcome::updateAvailable: {
        QStringList lines{result.message()};
        if (const QUrl download = result.newest->downloadPage(); !download.isEmpty())
            lines << QStringLiteral("Download: %1").arg(download.toString());
        return printLines(lines);
    }
    case UpdateCheckResult::Outcome::upToDate:
        return printLines({result.message()});
    case UpdateCheckResult::Outcome::failed:
        break;
    }
    // The server's own words may be in it: no escape sequences reach the terminal.
    fail(printableLine(result.message()));
    return 1;
}

} // namespace Orvinta
