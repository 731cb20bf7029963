// Files as an unlucky or hostile user leaves them: a full disk, a pipe or a
// device where a file should be, a folder that cannot be written.

#include "AppTestSupport.h"

#include <OrvintaApp/AtomicFile.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <sys/stat.h>
#include <thread>

using namespace Orvinta;
using namespace Orvinta::Testing;
using OrvintaTest::ResourceLimit;

TEST(FileSafety, aWriteThatCannotFinishKeepsTheOldFileAndOnlyRegularFilesAreRead) {
    QTemporaryDir folder;
    SessionStore store(folder.path());
    ASSERT_FALSE(store.save(sessionOf(2, "en-US")).error);
    const QString path = folder.filePath("Orvinta/session.json");
    const QByteArray before = readAll(path);

    std::optional<QString> error;
    {
        const ResourceLimit limit(RLIMIT_FSIZE, 4096);
        error = store.save(sessionOf(400, "en-US")).error;
    }
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->startsWith(path)) << error->toStdString();
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(folder.filePath("Orvinta")).entryList(QDir::Files).size(), 1);
    // An export that cannot finish: CliTest's outputThatCannotBeWrittenIsAFailure.

    ASSERT_TRUE(QFile::remove(path));
    // A pipe nobody writes, an endless device, a folder, a huge file: refused at once.
    for (const auto &make : std::vector<std::function<bool()>>{
             [&] { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; },
             [&] { return QFile::link("/dev/zero", path); }, [&] { return QDir().mkdir(path); }}) {
        ASSERT_TRUE(make());
        QElapsedTimer timer;
        timer.start();
        EXPECT_THROW(store.read(), SessionFormatError);
        EXPECT_LT(timer.elapsed(), 1000);
        QFile::remove(path) || QDir().rmdir(path);
    }
    ASSERT_TRUE(writeFile(path, {}) && QFile::resize(path, SessionStore::maxFileSize + 1));
    EXPECT_THROW(store.read(), SessionFormatError);

    // Writing to a pipe writes through it and leaves it a pipe (a full
    // device: CliTest's outputThatCannotBeWrittenIsAFailure).
    const QString pipe = folder.filePath("pipe");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_TRUE(writeFileAtomically(pipe, "nobody reads")); // refused, not blocked
    const QByteArray exported("exported\0text", 13);
    QFile reader(pipe);
    std::thread readSide([&] {
        ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
        EXPECT_EQ(reader.readAll(), exported);
    });
    // Written once the reader has opened its end.
    for (int tries = 0; tries < 100 && (error = writeFileAtomically(pipe, exported)); ++tries)
        QThread::msleep(10);
    readSide.join();
    EXPECT_FALSE(error) << error->toStdString();
    struct stat info {};
    EXPECT_TRUE(::stat(QFile::encodeName(pipe).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
}

// A restore keeps the newest 500 lines (and every matching translation); the
// first save after it archives the uncut file once. A disk that fills up while
// the cut file is written leaves the uncut one in place, and the next save
// archives it and writes the cut one.
TEST(FileSafety, theCutAtRestoreArchivesTheUncutFileAndFailuresAreToldOncePerRun) {
    AppFixture f;
    f.state.reset();
    const SessionData data = sessionOf(750, "en-US");
    ASSERT_TRUE(writeFile(f.sessionPath(), encodeSession(data)));
    f.restart();
    Transcript &transcript = *f.state->transcript();
    ASSERT_EQ(transcript.lineCount(), 500);
    EXPECT_EQ(transcript.confirmedLines().front(), data.lines[250]);
    EXPECT_EQ(transcript.confirmedLines().back(), data.lines[749]);
    EXPECT_EQ(transcript.translations().size(), 750); // also those of dropped lines
    EXPECT_EQ(transcript.translations().value(data.lines[749].id), "Línea 750");
    QSignalSpy keptAside(&f.state->sessionSaver(), &SessionSaver::fileKeptAside);
    const QDir folder = QFileInfo(f.sessionPath()).dir();
    {
        const ResourceLimit diskFull(RLIMIT_FSIZE, 4096);
        f.state->addConfirmedLine("Not saved.");
        f.settle();
    }
    EXPECT_EQ(decodeSession(readAll(f.sessionPath())).lines, data.lines);
    EXPECT_TRUE(folder.entryList({"session.archive-*.json"}, QDir::Files).isEmpty());

    f.state->addConfirmedLine("Saved.");
    f.settle();
    const QStringList archives = folder.entryList({"session.archive-*.json"}, QDir::Files);
    ASSERT_EQ(archives.size(), 1);
    EXPECT_EQ(decodeSession(readAll(folder.filePath(archives.front()))).lines, data.lines);
    EXPECT_EQ(decodeSession(readAll(f.sessionPath())).lines.size(), 502);
    ASSERT_EQ(keptAside.count(), 1);
    EXPECT_EQ(keptAside[0][0].toString(), folder.filePath(archives.front()));

    // The app says once per run of failures that the transcript is not saved.
    QSignalSpy failed(&f.state->sessionSaver(), &SessionSaver::saveFailed);
    {
        const ResourceLimit diskFull(RLIMIT_FSIZE, 64);
        f.state->addConfirmedLine("Not saved.");
        f.state->addConfirmedLine("Not saved either.");
        f.settle();
    }
    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed[0][0].toString().startsWith(
        QString("The transcript cannot be saved: %1").arg(f.sessionPath())));
    EXPECT_EQ(f.state->listening()->errorMessageText(), failed[0][0].toString());

    f.state->addConfirmedLine("Saved again.");
    f.settle();
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(decodeSession(readAll(f.sessionPath())).lines.size(), 505);
}
