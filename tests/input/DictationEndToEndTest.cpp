// Dictation as a user meets it: orvinta-cli dictate under the test desktop,
// the hold key pressed with XTest, a known recording played into the
// virtual microphone, and the words pasted into another client's field.

#include "InputTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

using namespace Orvinta::InputTesting;

namespace {

const QString recording =
    "/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0880.wav";

/// A running `orvinta-cli dictate` in a home of its own.
class Dictate {
public:
    Dictate() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(ORVINTA_CLI_PATH), {"dictate", "--verbose"});
    }
    ~Dictate() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    bool waitForLog(const QString &text, std::chrono::milliseconds timeout) {
        return waitFor(
                   [&] {
                       m_errors += QString::fromUtf8(m_process.readAllStandardError());
                       return m_errors.contains(text) || m_process.state() == QProcess::NotRunning;
                   },
                   timeout) &&
               m_errors.contains(text);
    }
    /// Ends the run as Ctrl-C does; what it printed.
    QString interrupt() {
        ::kill(static_cast<pid_t>(m_process.processId()), SIGINT);
        EXPECT_TRUE(m_process.waitForFinished(15000));
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_process.exitCode(), 0);
        return QString::fromUtf8(m_process.readAllStandardOutput());
    }
    QString errors() const { return m_errors; }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QString m_errors;
};

QStringList words(const QString &text) {
    return text.toLower().remove(QRegularExpression("[^a-z ]")).split(' ', Qt::SkipEmptyParts);
}

} // namespace

TEST(DictationEndToEnd, heldKeyRecordingReleasePastesTheWordsAndRestoresTheClipboard) {
    REQUIRE_DISPLAY();
    if (!haveSoundServer())
        GTEST_SKIP() << "needs the test sound server (./test.sh starts one)";
    if (!QFileInfo::exists(recording))
        GTEST_SKIP() << "pocketsphinx-testdata is not installed";

    PasteTarget target({"--clipboard", "before"});
    ASSERT_TRUE(target.waitUntilReady());
    Dictate dictate;
    ASSERT_TRUE(dictate.waitForLog("Ready: hold Right Ctrl", std::chrono::seconds(60)))
        << dictate.errors().toStdString();

    ASSERT_TRUE(fakeKey("Control_R", true));
    ASSERT_TRUE(dictate.waitForLog("[AppState] startDictation complete", std::chrono::seconds(30)))
        << dictate.errors().toStdString();
    QProcess player;
    player.start("paplay", {"--device=orvinta_mic_feed", recording});
    ASSERT_TRUE(player.waitForFinished(30000));
    ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
    ASSERT_TRUE(fakeKey("Control_R", false));

    ASSERT_TRUE(
        dictate.waitForLog("[AppState] Dictation stopped, pasted: true", std::chrono::seconds(30)))
        << dictate.errors().toStdString();
    ASSERT_TRUE(target.waitForLine([](const QString &line) { return line.startsWith("text: "); }));
    // The field may take the paste in one change; wait until it settles.
    const QString pasted = target.lastText();
    std::printf("pasted: %s\n", pasted.toUtf8().constData());
    // "he was not an ill disposed young man": most of the words arrive.
    const QStringList reference{"he", "was", "not", "an", "ill", "disposed", "young", "man"};
    int heard = 0;
    for (const QString &word : words(pasted))
        heard += reference.contains(word) ? 1 : 0;
    EXPECT_GE(heard, 4) << pasted.toStdString();

    // The clipboard holds the user's text again.
    ASSERT_TRUE(waitFor([&] { return target.dumpClipboard().value("plain") == "before"; }))
        << dictate.errors().toStdString();

    const QString printed = dictate.interrupt();
    EXPECT_EQ(printed.trimmed(), pasted);
}
