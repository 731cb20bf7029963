#include "CliProcess.h"
#include "TestFeedServer.h"

#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/DesktopNotifier.h>
#include <OrvintaUpdates/UpdateNotice.h>
#include <OrvintaUpdates/UpdaterManager.h>

#include <QTest>

using namespace Orvinta;
using OrvintaTest::CliResult;
using OrvintaTest::FeedResponse;
using OrvintaTest::TestFeedServer;
using State = UpdaterManager::State;

namespace {

constexpr int waitLimitMs = 60000;
const QString running = "1.4";

/// Preferences that survive "restarts" of the updater, and a clock the test moves.
struct UpdaterFixture {
    QTemporaryDir folder;
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);
    std::chrono::milliseconds timeout = std::chrono::seconds(20);

    std::shared_ptr<PreferencesStore> store() const {
        return std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    }
    /// A new updater, as after a restart of the program.
    std::unique_ptr<UpdaterManager> start(const QUrl &feed, bool trusted = true) {
        UpdaterManager::Options options;
        options.clock = [this] { return now; };
        options.timeout = timeout;
        options.currentVersion = running;
        if (trusted)
            options.ssl = OrvintaTest::trustingTestCertificate();
        auto updater = std::make_unique<UpdaterManager>(store(), options);
        updater->setFeedUrl(feed);
        return updater;
    }
};

/// Runs one manual check (of `feed`, where given) to its end; its outcome.
State check(UpdaterManager &updater, const QUrl &feed = {}) {
    if (!feed.isEmpty())
        updater.setFeedUrl(feed);
    QSignalSpy finished(&updater, &UpdaterManager::checkFinished);
    updater.checkForUpdates();
    EXPECT_EQ(updater.state(), State::checking);
    EXPECT_FALSE(updater.canCheckForUpdates());
    EXPECT_TRUE(finished.wait(waitLimitMs)) << "the check did not end";
    EXPECT_TRUE(updater.canCheckForUpdates());
    return updater.state();
}

/// Checks `feed` by hand and expects a failure whose message says `saying`.
void expectFailure(UpdaterManager &updater, const QUrl &feed, const char *saying) {
    EXPECT_EQ(check(updater, feed), State::failed) << feed.path().toStdString();
    EXPECT_TRUE(updater.message().contains(saying))
        << feed.path().toStdString() << ": " << updater.message().toStdString();
    EXPECT_TRUE(updater.availableVersion().isEmpty());
    EXPECT_TRUE(updater.downloadUrl().isEmpty());
}

/// Serves `prefix`0 .. `prefix`(n-1), each redirecting to the next, the last to `end`.
void serveChain(TestFeedServer &server, const QString &prefix, int n, const QUrl &end) {
    for (int i = 0; i < n; ++i)
        server.serve(
            prefix + QString::number(i),
            FeedResponse::redirect(i + 1 == n ? end : server.url(prefix + QString::number(i + 1))));
}

} // namespace

TEST(UpdaterTest, ManualChecksSayAvailableOrUpToDateFollowRedirectsAndNameEachFailure) {
    TestFeedServer server;
    TestFeedServer plain(TestFeedServer::Scheme::http);
    server.serve("/newer.xml",
                 FeedResponse::feed(OrvintaTest::appcastXml(
                     {{"1.3", "<p>old</p>"},
                      {"1.10", "<h3>Big</h3><ul><li>Better</li></ul><script>boom()</script>"},
                      {"1.9", ""}})));
    server.serve("/same.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"1.4.0", ""}})));
    server.serve("/older.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"1.3.9", ""}})));

    const QByteArray good = OrvintaTest::appcastXml({{"9.0", "<p>x</p>"}});
    server.serve("/malformed.xml", FeedResponse::feed(good.left(good.size() / 2)));
    server.serve("/no-versions.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"soon", ""}})));
    server.serve("/slow.xml", FeedResponse::silent());
    server.serve("/endless.xml", FeedResponse::endless());
    server.serve("/to-plain.xml", FeedResponse::redirect(plain.url("/appcast.xml")));
    server.serve("/to-https.xml", FeedResponse::redirect(server.url("/appcast.xml")));
    server.serve("/appcast.xml", FeedResponse::feed(good));
    plain.serve("/appcast.xml", FeedResponse::feed(good));
    // What the server says reaches the user as one line of plain text.
    server.serve("/refused.xml",
                 FeedResponse::error(503, "\x1b]0;owned\x07\x1b[31mBusy <img "
                                          "src=\"https://tracker.example/x.png\"> <a "
                                          "href=\"file:///etc/passwd\">here</a>\x1b[0m"));

    const int hops = 4;
    serveChain(server, "/hop", hops, server.url("/appcast.xml"));
    serveChain(server, "/loop", 3, server.url("/loop0"));
    serveChain(server, "/self", 1, server.url("/self0"));
    serveChain(server, "/long", 30, server.url("/appcast.xml"));
    // Every hop is checked, the third as the first.
    serveChain(server, "/late", 3, plain.url("/appcast.xml"));

    UpdaterFixture fixture;
    auto updater = fixture.start(server.url("/newer.xml"));
    EXPECT_EQ(check(*updater), State::updateAvailable);
    EXPECT_EQ(updater->message(), "Orvinta 1.10 is available (you have 1.4)");
    EXPECT_EQ(updater->availableVersion(), "1.10");
    EXPECT_EQ(updater->downloadUrl(), QUrl("https://orvinta.app/downloads/orvinta-1.10.tar.gz"));
    EXPECT_TRUE(updater->releaseNotesHtml().contains("<li>Better</li>"));
    EXPECT_FALSE(updater->releaseNotesHtml().contains("boom"));

    for (const char *path : {"/same.xml", "/older.xml"}) {
        EXPECT_EQ(check(*updater, server.url(path)), State::upToDate) << path;
        EXPECT_EQ(updater->message(), "Orvinta 1.4 is up to date") << path;
        EXPECT_TRUE(updater->downloadUrl().isEmpty());
        EXPECT_TRUE(updater->availableVersion().isEmpty());
    }

    // Redirect chains are followed, and loops say so.
    EXPECT_EQ(check(*updater, server.url("/hop0")), State::updateAvailable)
        << updater->message().toStdString();
    for (int i = 0; i < hops; ++i)
        EXPECT_EQ(server.requests(QString("/hop%1").arg(i)), 1) << i;
    EXPECT_EQ(server.requests("/appcast.xml"), 1);

    expectFailure(*updater, server.url("/loop0"), "redirects in a loop");
    for (const char *path : {"/loop0", "/loop1", "/loop2"})
        EXPECT_EQ(server.requests(path), 1) << path;
    expectFailure(*updater, server.url("/self0"), "redirects in a loop");
    EXPECT_EQ(server.requests("/self0"), 1);
    const int requestsBefore = server.totalRequests();
    expectFailure(*updater, server.url("/long0"), "too many redirects");
    EXPECT_LE(server.totalRequests() - requestsBefore, 11);
    EXPECT_EQ(server.requests("/appcast.xml"), 1);
    expectFailure(*updater, server.url("/late0"), "not secure");

    const std::vector<std::pair<const char *, const char *>> failures{
        {"/malformed.xml", "not well-formed"}, {"/no-versions.xml", "no release with a version"},
        {"/missing.xml", "could not be read"}, {"/endless.xml", "larger than 1024 KB"},
        {"/to-plain.xml", "not secure"},       {"/refused.xml", "Busy"}};
    for (const auto &[path, saying] : failures)
        expectFailure(*updater, server.url(path), saying);
    for (QChar c : updater->message())
        EXPECT_FALSE(c.category() == QChar::Other_Control) << updater->message().toStdString();
    EXPECT_EQ(plain.requests("/appcast.xml"), 0);
    expectFailure(*updater, QUrl("http://orvinta.app/appcast.xml"), "must use HTTPS");

    // A redirect that stays on HTTPS is followed; plain HTTP serves only on this computer.
    for (const QUrl &feed : {server.url("/to-https.xml"), plain.url("/appcast.xml")}) {
        EXPECT_EQ(check(*updater, feed), State::updateAvailable) << feed.toString().toStdString();
    }

    // Only the server that never answers meets a short limit; the others
    // keep a generous one, however slow the machine.
    fixture.timeout = std::chrono::milliseconds(500);
    updater = fixture.start(server.url("/slow.xml"));
    EXPECT_EQ(check(*updater), State::failed);
    EXPECT_EQ(updater->message(), "The update check timed out after 0.5 seconds");

    // The test's certificate is trusted only where the test says so.
    auto untrusting = fixture.start(server.url("/appcast.xml"), false);
    expectFailure(*untrusting, server.url("/appcast.xml"), "could not be read");
}

TEST(UpdaterTest, AutomaticChecksRunOnceADayAcrossRestartsUntilTurnedOff) {
    TestFeedServer server;
    server.serve("/appcast.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"1.4", ""}})));
    const QUrl feed = server.url("/appcast.xml");
    UpdaterFixture fixture;
    const QDateTime firstLaunch = fixture.now;

    // Never checked: the start-up job checks at once.
    {
        auto updater = fixture.start(feed);
        EXPECT_TRUE(updater->automaticallyChecksForUpdates());
        updater->startAutomaticChecks();
        QTRY_COMPARE_WITH_TIMEOUT(updater->state(), State::upToDate, waitLimitMs);
        EXPECT_FALSE(updater->isUserInitiated());
        EXPECT_EQ(updater->lastCheckTime(), firstLaunch);
        EXPECT_EQ(updater->nextAutomaticCheck(), firstLaunch.addDays(1));
    }
    EXPECT_EQ(server.requests("/appcast.xml"), 1);

    // A restart an hour later does not check again; the day still counts from the first check.
    fixture.now = firstLaunch.addSecs(3600);
    {
        auto updater = fixture.start(feed);
        EXPECT_EQ(updater->lastCheckTime(), firstLaunch);
        updater->startAutomaticChecks();
        EXPECT_EQ(updater->nextAutomaticCheck(), firstLaunch.addDays(1));
        QCoreApplication::processEvents();
        EXPECT_EQ(updater->state(), State::idle);

        // The running program checks when the day is over.
        fixture.now = firstLaunch.addDays(1).addMSecs(-100);
        updater->startAutomaticChecks();
        fixture.now = firstLaunch.addDays(1);
        QTRY_COMPARE_WITH_TIMEOUT(updater->state(), State::upToDate, waitLimitMs);
        EXPECT_EQ(updater->lastCheckTime(), firstLaunch.addDays(1));
        EXPECT_EQ(updater->nextAutomaticCheck(), firstLaunch.addDays(2));
    }
    EXPECT_EQ(server.requests("/appcast.xml"), 2);

    // A restart after more than a day checks at start-up, and so does one
    // whose last check lies in the future (a clock that was wrong).
    for (const QDateTime &restart : {firstLaunch.addDays(2).addSecs(60), firstLaunch}) {
        fixture.now = restart;
        auto updater = fixture.start(feed);
        updater->startAutomaticChecks();
        QTRY_COMPARE_WITH_TIMEOUT(updater->state(), State::upToDate, waitLimitMs);
    }
    EXPECT_EQ(server.requests("/appcast.xml"), 4);

    // Turned off, the switch survives a restart and no check runs, though a
    // day has passed; the user may still check by hand, and turning the
    // switch on schedules again.
    fixture.now = firstLaunch.addDays(3);
    {
        auto updater = fixture.start(feed);
        QSignalSpy changed(updater.get(), &UpdaterManager::automaticallyChecksForUpdatesChanged);
        updater->setAutomaticallyChecksForUpdates(false);
        EXPECT_EQ(changed.count(), 1);
    }
    auto updater = fixture.start(feed);
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
    updater->startAutomaticChecks();
    EXPECT_FALSE(updater->nextAutomaticCheck().isValid());
    QCoreApplication::processEvents();
    EXPECT_EQ(updater->state(), State::idle);
    EXPECT_EQ(server.requests("/appcast.xml"), 4);
    EXPECT_EQ(check(*updater), State::upToDate);
    updater->setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(updater->nextAutomaticCheck(), fixture.now.addDays(1));
}

TEST(UpdaterTest, AskingDuringABackgroundCheckMakesItsOutcomeTheUsers) {
    TestFeedServer server;
    server.serve("/slow.xml", FeedResponse::silent());
    UpdaterFixture fixture;
    fixture.timeout = std::chrono::milliseconds(300);
    auto updater = fixture.start(server.url("/slow.xml"));
    QSignalSpy finished(updater.get(), &UpdaterManager::checkFinished);
    // The user asks the moment the background check has begun.
    bool backgroundCheckSeen = false;
    QObject::connect(updater.get(), &UpdaterManager::stateChanged, updater.get(), [&] {
        if (updater->state() != State::checking || backgroundCheckSeen)
            return;
        backgroundCheckSeen = true;
        EXPECT_FALSE(updater->isUserInitiated());
        updater->checkForUpdates();
        EXPECT_TRUE(updater->isUserInitiated());
    });
    updater->startAutomaticChecks();
    ASSERT_TRUE(finished.wait(waitLimitMs));
    EXPECT_TRUE(backgroundCheckSeen);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_TRUE(updater->message().contains("timed out"));
    EXPECT_EQ(server.totalRequests(), 1);
}

TEST(UpdaterTest, TheNoticeLeavesWhatTheUserAskedForToTheWindowAndGoesWhenUpToDate) {
    struct Notifier : DesktopNotifier {
        void notify(const Notification &notification) override {
            summaries << notification.summary;
            Q_EMIT shown();
        }
        QStringList summaries;
    };
    TestFeedServer server;
    server.serve("/appcast.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"2.0", ""}})));
    UpdaterFixture fixture;
    auto notifier = std::make_shared<Notifier>();
    const auto restart = [&] {
        fixture.now = fixture.now.addDays(2);
        auto updater = fixture.start(server.url("/appcast.xml"));
        auto notice = std::make_unique<UpdateNotice>(*updater, fixture.store(), notifier);
        return std::pair(std::move(updater), std::move(notice));
    };
    const auto checkInTheBackground = [](UpdaterManager &updater) {
        QSignalSpy finished(&updater, &UpdaterManager::checkFinished);
        updater.startAutomaticChecks();
        EXPECT_TRUE(finished.wait(waitLimitMs));
    };

    // Asked for: the update window answers, so nothing notifies or marks 2.0.
    auto [updater, notice] = restart();
    check(*updater);
    EXPECT_EQ(notice->version(), "2.0");
    EXPECT_FALSE(notice->markShown());
    checkInTheBackground(*restart().first);
    EXPECT_TRUE(notifier->summaries.isEmpty());

    // Found in the background, 2.1 is notified and marked; up to date, the mark goes.
    server.serve("/appcast.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"2.1", ""}})));
    std::tie(updater, notice) = restart();
    checkInTheBackground(*updater);
    EXPECT_EQ(notifier->summaries, QStringList{"Orvinta 2.1 is available"});
    EXPECT_TRUE(notice->markShown());
    QSignalSpy markChanged(notice.get(), &UpdateNotice::markShownChanged);
    server.serve("/appcast.xml", FeedResponse::feed(OrvintaTest::appcastXml({{"1.4", ""}})));
    check(*updater);
    EXPECT_FALSE(notice->markShown());
    EXPECT_EQ(markChanged.count(), 1);
}

// orvinta-cli check-update, as a user runs it. It shares the updater's check,
// whose failures UpdaterTest covers; here: its options, output and exit codes.
TEST(CheckUpdateCliTest, PrintsTheOutcomeOrOneLineOnStandardError) {
    TestFeedServer server;
    const QString current = AppVersion::shortVersion();
    server.serve("/newer.xml", FeedResponse::feed(OrvintaTest::appcastXml(
                                   {{current, "<p>this</p>"}, {"999.1", "<p>next</p>"}})));
    server.serve("/same.xml", FeedResponse::feed(OrvintaTest::appcastXml({{current, ""}})));
    server.serve("/slow.xml", FeedResponse::silent());
    const QString ca = OrvintaTest::TestCertificate::get().certificatePath;
    const OrvintaTest::PrivateHome home;
    const auto cli = [&](const QStringList &arguments) {
        return OrvintaTest::runCli(arguments, waitLimitMs, home.environment());
    };
    const auto check = [&](const char *path, QStringList more = {}) {
        return cli(QStringList{"check-update", "--feed", server.url(path).toString()} + more);
    };

    const CliResult newer = check("/newer.xml", {"--ca-file", ca});
    EXPECT_EQ(newer.exitCode, 0) << newer.errors.toStdString();
    EXPECT_EQ(newer.lines, QStringList({"Orvinta 999.1 is available (you have " + current + ")",
                                        "Download: https://orvinta.app/downloads/"
                                        "orvinta-999.1.tar.gz"}));
    const CliResult same = check("/same.xml", {"--ca-file", ca});
    EXPECT_EQ(same.exitCode, 0);
    EXPECT_EQ(same.output, "Orvinta " + current + " is up to date\n");
    EXPECT_TRUE(same.errors.isEmpty());

    using OrvintaTest::expectOneLineFailure;
    expectOneLineFailure(check("/slow.xml", {"--ca-file", ca, "--timeout", "0.5"}), 1, "timed out");
    // Without the test's certificate the server is not trusted.
    expectOneLineFailure(check("/same.xml"), 1, "could not be read");
    EXPECT_EQ(cli({"check-update", "--timeout", "0"}).exitCode, 2);

    // What the server says reaches the terminal without its escape sequences.
    server.serve("/refused.xml", FeedResponse::error(503, "\x1b]0;owned\x07\x1b[2J\rBusy\x1b[0m"));
    const CliResult refused = check("/refused.xml", {"--ca-file", ca});
    expectOneLineFailure(refused, 1, "Busy");
    for (const char *control : {"\x1b", "\x07", "\r"})
        EXPECT_FALSE(refused.errors.contains(control)) << refused.errors.toStdString();

    const CliResult version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, "orvinta-cli " + AppVersion::displayVersion() + "\n");
}
