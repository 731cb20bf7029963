#include <OrvintaTranslationBackends/Subprocess.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Orvinta {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::string systemError(const std::string &what, int error) {
    return what + ": " + std::strerror(error);
}

[[noreturn]] void fail(const std::string &message) {
    throw SubprocessError(SubprocessError::Reason::Failed, message);
}

[[noreturn]] void cancelled() {
    throw SubprocessError(SubprocessError::Reason::Cancelled, "was cancelled");
}

void makePipe(int fds[2]) {
    if (::pipe2(fds, O_CLOEXEC) != 0)
        fail(systemError("cannot create a pipe", errno));
}

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

/// Starts `argv` in a process group of its own with the given standard streams.
pid_t spawn(const std::vector<std::string> &argv, int input, int output, int errors) {
    if (argv.empty())
        fail("has no program to start");
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors, STDERR_FILENO);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noMask;
    sigemptyset(&noMask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &noMask);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        fail(systemError("cannot be started", error));
    return pid;
}

int reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

bool exited(pid_t pid) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno != EINTR;
    return info.si_pid == pid;
}

/// Ends the group that `pid` leads and reaps its leader. TERM comes first, so
/// that a shell leader can reap its children itself rather than leave them
/// to init as zombies; KILL ends whatever is left after a short grace.
void stopGroup(pid_t pid) {
    ::kill(-pid, SIGTERM);
    const auto deadline = Clock::now() + milliseconds(200);
    while (!exited(pid) && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    ::kill(-pid, SIGKILL);
    reap(pid);
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

std::string formatSeconds(milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

bool readable(const pollfd &fd) {
    return fd.revents != 0;
}

} // namespace

CancelSignal::CancelSignal()
    : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0)
        fail(systemError("cannot create an event", errno));
}

CancelSignal::~CancelSignal() {
    ::close(m_fd);
}

void CancelSignal::raise() noexcept {
    const std::uint64_t one = 1;
    // A full counter (EAGAIN) is raised already.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void CancelSignal::clear() noexcept {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t received = ::read(m_fd, &count, sizeof count);
}

bool CancelSignal::isRaised() const noexcept {
    pollfd fd{m_fd, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

void Subprocess::Descriptor::reset(int fd) noexcept {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

Subprocess::Subprocess(const std::vector<std::string> &argv) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        fail(systemError("cannot create a socket", errno));
    m_input.reset(pair[0]);
    const Descriptor childInput(pair[1]);
    int output[2], errors[2];
    makePipe(output);
    m_output.reset(output[0]);
    const Descriptor childOutput(output[1]);
    makePipe(errors);
    m_errors.reset(errors[0]);
    const Descriptor childErrors(errors[1]);
    m_pid = spawn(argv, childInput.get(), childOutput.get(), childErrors.get());
    for (const Descriptor *fd : {&m_input, &m_output, &m_errors})
        setNonBlocking(fd->get());
}

Subprocess::~Subprocess() {
    kill();
}

std::unique_ptr<Subprocess> Subprocess::shell(const std::string &command) {
    // With a trap set, the shell outlives a TERM to its group and reaps the
    // command's processes before it ends.
    return std::make_unique<Subprocess>(
        std::vector<std::string>{"/bin/sh", "-c", "trap : TERM\n" + command});
}

bool Subprocess::hasExited() const {
    return m_pid <= 0 || exited(m_pid);
}

void Subprocess::kill() noexcept {
    m_input.reset();
    m_output.reset();
    m_errors.reset();
    if (m_pid <= 0)
        return;
    stopGroup(m_pid);
    m_pid = -1;
}

std::string Subprocess::exchange(std::string_view request, char terminator,
                                 milliseconds stallTimeout, const CancelSignal *cancel) {
    if (cancel && cancel->isRaised())
        cancelled();
    // Output before a request, or a child that ended, means it failed
    // earlier; such a child cannot answer in step any more.
    pollfd probe{m_output.get(), POLLIN, 0};
    if (!m_output || hasExited() || ::poll(&probe, 1, 0) > 0)
        fail(stoppedMessage());

    std::string answer;
    std::size_t written = 0;
    auto deadline = Clock::now() + stallTimeout;
    for (;;) {
        pollfd fds[4];
        nfds_t count = 0;
        const nfds_t outputAt = count++;
        fds[outputAt] = {m_output.get(), POLLIN, 0};
        // A negative descriptor is left out by poll().
        const nfds_t errorsAt = count++;
        fds[errorsAt] = {m_errors.get(), POLLIN, 0};
        const nfds_t cancelAt = count++;
        fds[cancelAt] = {cancel ? cancel->descriptor() : -1, POLLIN, 0};
        const bool writing = written < request.size();
        const nfds_t inputAt = count++;
        fds[inputAt] = {writing ? m_input.get() : -1, POLLOUT, 0};

        const int timeout = millisecondsUntil(deadline);
        if (timeout == 0)
            throw SubprocessError(SubprocessError::Reason::TimedOut,
                                  "gave no answer within " + formatSeconds(stallTimeout));
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            fail(systemError("could not be watched", errno));
        }
        if (ready == 0)
            continue;

        if (readable(fds[cancelAt]))
            cancelled();
        if (readable(fds[errorsAt]))
            drainErrors();
        if (writing && (fds[inputAt].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t sent = ::send(m_input.get(), request.data() + written,
                                        request.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                fail(stoppedMessage());
            if (sent > 0) {
                written += static_cast<std::size_t>(sent);
                deadline = Clock::now() + stallTimeout;
            }
        }
        if (readable(fds[outputAt])) {
            char buffer[16384];
            const ssize_t received = ::read(m_output.get(), buffer, sizeof buffer);
            if (received == 0)
                fail(stoppedMessage());
            if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                fail(systemError("could not be read", errno));
            if (received > 0) {
                answer.append(buffer, static_cast<std::size_t>(received));
                deadline = Clock::now() + stallTimeout;
                const auto end = answer.find(terminator);
                if (end != std::string::npos) {
                    if (end + 1 != answer.size() || written < request.size())
                        fail(stoppedMessage());
                    answer.resize(end);
                    return answer;
                }
            }
        }
    }
}

void Subprocess::drainErrors() {
    char buffer[4096];
    for (;;) {
        const ssize_t received = ::read(m_errors.get(), buffer, sizeof buffer);
        if (received == 0) {
            m_errors.reset();
            return;
        }
        if (received < 0)
            return;
        m_errorTail.append(buffer, static_cast<std::size_t>(received));
        if (m_errorTail.size() > 2000)
            m_errorTail.erase(0, m_errorTail.size() - 2000);
    }
}

std::string Subprocess::stoppedMessage() {
    if (m_errors) {
        // Give the dying process a moment to say why.
        pollfd fd{m_errors.get(), POLLIN, 0};
        if (::poll(&fd, 1, 100) > 0)
            drainErrors();
    }
    std::string last = m_errorTail;
    while (!last.empty() && std::isspace(static_cast<unsigned char>(last.back())))
        last.pop_back();
    if (const auto newline = last.rfind('\n'); newline != std::string::npos)
        last.erase(0, newline + 1);
    return last.empty() ? "stopped unexpectedly" : "stopped unexpectedly: " + last;
}

std::string Subprocess::run(const std::vector<std::string> &argv, milliseconds timeout,
                            const CancelSignal *cancel) {
    int fds[2];
    makePipe(fds);
    const Descriptor output(fds[0]);
    Descriptor childOutput(fds[1]);
    const Descriptor nullDevice(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!nullDevice)
        fail(systemError("cannot open /dev/null", errno));
    const pid_t pid = spawn(argv, nullDevice.get(), childOutput.get(), nullDevice.get());
    childOutput.reset();

    std::string result;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd watched[2] = {{output.get(), POLLIN, 0},
                             {cancel ? cancel->descriptor() : -1, POLLIN, 0}};
        const int ready = ::poll(watched, 2, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready > 0 && readable(watched[1])) {
            stopGroup(pid);
            cancelled();
        }
        if (ready <= 0) {
            stopGroup(pid);
            throw SubprocessError(SubprocessError::Reason::TimedOut, "gave no answer");
        }
        char buffer[4096];
        const ssize_t received = ::read(output.get(), buffer, sizeof buffer);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            break;
        result.append(buffer, static_cast<std::size_t>(received));
    }
    const int status = reap(pid);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail("failed");
    return result;
}

} // namespace Orvinta
