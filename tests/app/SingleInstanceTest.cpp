#include "AppTestSupport.h"

#include <OrvintaPlatform/SingleInstance.h>

#include <QDir>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

/// A raw connection to the hand-over socket that sends nothing; -1 with
/// errno set when none could be made.
int idleConnection(const QString &socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath);
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

int openDescriptors() {
    return static_cast<int>(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

} // namespace

// Connections that say nothing take a few descriptors at most, and even a
// full descriptor table does not close the listener or remove its socket:
// once the flood is over, the next start still hands over, and a connection
// that is silent or garbled is dropped.
TEST(SingleInstance, aFloodOfIdleOrGarbledConnectionsLeavesTheHandOverWorking) {
    QTemporaryDir runtime;
    SingleInstance first(runtime.path(), runtime.path());
    ASSERT_EQ(first.claim(), SingleInstance::Claim::taken);
    ASSERT_TRUE(first.acceptHandOvers());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);
    const QString socketPath = QDir(runtime.path()).filePath("orvinta.socket");
    ASSERT_TRUE(QFile::exists(socketPath));

    const int before = openDescriptors();
    std::vector<int> clients;
    bool tableFull = false;
    {
        const OrvintaTest::ResourceLimit limit(RLIMIT_NOFILE, 100);
        for (int attempt = 0; attempt < 2000 && !tableFull; ++attempt) {
            const int fd = idleConnection(socketPath);
            if (fd >= 0)
                clients.push_back(fd);
            else if (errno == EMFILE)
                tableFull = true;
            QCoreApplication::processEvents();
        }
        EXPECT_TRUE(tableFull);
        // Connections keep coming while the table is full, so the listener
        // meets the full table when it accepts them.
        for (int i = 0; i < 20 && !clients.empty(); ++i) {
            ::close(clients.back());
            clients.pop_back();
            const int fd = idleConnection(socketPath);
            if (fd >= 0)
                clients.push_back(fd);
            spin(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(QFile::exists(socketPath));
        EXPECT_LE(openDescriptors() - before - static_cast<int>(clients.size()), 20)
            << "descriptors held for idle hand-over connections";
    }
    for (const int fd : clients)
        ::close(fd);

    SingleInstance second(runtime.path(), runtime.path());
    EXPECT_EQ(second.claim(), SingleInstance::Claim::heldElsewhere);
    EXPECT_TRUE(second.handOver());
    EXPECT_TRUE(waitUntil([&] { return activated.count() == 1; }));
    EXPECT_TRUE(QFile::exists(socketPath));

    // A connection that says nothing, or nothing useful, is closed after a moment.
    for (const QByteArray &said : {QByteArray(), QByteArray("hello\n")}) {
        const int fd = idleConnection(socketPath);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, said.constData(), size_t(said.size())), said.size());
        char byte = 0;
        EXPECT_TRUE(waitUntil([&] { return ::read(fd, &byte, 1) == 0; }, std::chrono::seconds(4)));
        ::close(fd);
    }
    EXPECT_EQ(activated.count(), 1);
}

// orvinta-cli hold and toggle: one line each way on the same socket, the
// hand-over still beside them; where nobody listens the sender says so.
TEST(SingleInstance, commandLinesAreAnsweredBesideTheHandOverAndNobodyListeningIsNoAnswer) {
    using namespace std::chrono_literals;
    QTemporaryDir runtime;
    SingleInstance first(runtime.path(), runtime.path());
    ASSERT_TRUE(first.acceptHandOvers());
    QByteArrayList received;
    first.setCommandHandler([&](const QByteArray &command) {
        received << command;
        return command == "toggle overlay" ? QString() : QStringLiteral("not here");
    });
    QSignalSpy activated(&first, &SingleInstance::activationRequested);
    const auto send = [](const QString &socket, const QByteArray &command) {
        // The sender blocks; the listener answers from this thread's event loop meanwhile.
        std::future<std::optional<QString>> reply = std::async(
            std::launch::async, [=] { return SingleInstance::sendCommand(socket, command, 3s); });
        waitUntil([&] { return reply.wait_for(0s) == std::future_status::ready; });
        return reply.get();
    };
    EXPECT_EQ(send(first.socketPath(), "toggle overlay"), QString(""));
    EXPECT_EQ(send(first.socketPath(), "hold sideways"), QString("not here"));
    EXPECT_EQ(received, (QByteArrayList{"toggle overlay", "hold sideways"}));
    EXPECT_TRUE(SingleInstance(runtime.path(), runtime.path()).handOver());
    EXPECT_TRUE(waitUntil([&] { return activated.count() == 1; }));

    SingleInstance elsewhere(runtime.path(), runtime.filePath("elsewhere"));
    EXPECT_EQ(send(elsewhere.socketPath(), "toggle overlay"), std::nullopt);
    EXPECT_EQ(received.size(), 2);

    // Another user is refused even where the folder and the socket let it in.
    if (::geteuid() != 0)
        return;
    ASSERT_EQ(::chmod(QFile::encodeName(runtime.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(first.socketPath()).constData(), 0666), 0);
    const pid_t other = ::fork();
    if (other == 0) {
        // Plain system calls only, in the child of a threaded process.
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const int fd = idleConnection(first.socketPath());
        char reply[64];
        const bool answered = fd >= 0 && ::write(fd, "toggle overlay\n", 15) == 15 &&
                              ::read(fd, reply, sizeof reply) > 0;
        ::_exit(fd < 0 ? 3 : answered ? 1 : 0);
    }
    int status = -1;
    EXPECT_TRUE(waitUntil([&] { return ::waitpid(other, &status, WNOHANG) == other; }));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(received.size(), 2);
}

TEST(SingleInstance, aLockLeftByADeadProcessIsTakenOver) {
    QTemporaryDir runtime;
    {
        // A holder that died without cleaning up: its lock names a dead process.
        QFile stale(QDir(runtime.path()).filePath("orvinta.lock"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("999999\norvinta\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    SingleInstance instance(runtime.path(), runtime.path());
    EXPECT_EQ(instance.claim(), SingleInstance::Claim::taken);
    SingleInstance nobodyListening(runtime.path(), runtime.path());
    EXPECT_FALSE(nobodyListening.handOver());
}
