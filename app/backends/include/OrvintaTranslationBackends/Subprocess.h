#pragma once

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Orvinta {

/// What went wrong with a child process. what() continues a sentence that
/// names the program: "stopped unexpectedly: <its last error line>".
class SubprocessError : public std::runtime_error {
public:
    enum class Reason { Failed, TimedOut, Cancelled };

    SubprocessError(Reason reason, const std::string &message)
        : std::runtime_error(message)
        , m_reason(reason) {}

    Reason reason() const noexcept { return m_reason; }

private:
    Reason m_reason;
};

/// Raised from any thread to end at once the Subprocess waits that watch it.
/// It stays raised until cleared.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal &) = delete;
    CancelSignal &operator=(const CancelSignal &) = delete;

    void raise() noexcept;
    void clear() noexcept;
    bool isRaised() const noexcept;
    /// Readable while raised.
    int descriptor() const noexcept { return m_fd; }

private:
    int m_fd;
};

/// A child process leading a process group of its own, its standard input on
/// a socket, its output and errors on pipes. Destroying it ends the whole
/// group and reaps the child.
class Subprocess {
public:
    /// Starts argv[0], searched in PATH; throws SubprocessError.
    explicit Subprocess(const std::vector<std::string> &argv);
    /// Starts a shell command line whose processes all end with kill().
    static std::unique_ptr<Subprocess> shell(const std::string &command);
    ~Subprocess();
    Subprocess(const Subprocess &) = delete;
    Subprocess &operator=(const Subprocess &) = delete;

    int pid() const noexcept { return m_pid; }
    /// True once the child has ended; it stays unreaped until kill().
    bool hasExited() const;

    /// Sends `request` and returns what the child writes back up to
    /// `terminator` (left out). Throws SubprocessError when the child ends,
    /// is out of step (output before the request, past the terminator, or
    /// before it took the whole request), writes nothing and reads nothing
    /// for `stallTimeout`, or when `cancel` is raised.
    std::string exchange(std::string_view request, char terminator,
                         std::chrono::milliseconds stallTimeout,
                         const CancelSignal *cancel = nullptr);

    /// Ends the process group (TERM, then KILL after 0.2 s) and reaps the
    /// child; later calls do nothing.
    void kill() noexcept;

    /// Runs `argv` with no input and returns its standard output. Throws
    /// SubprocessError when it fails, stays silent for `timeout`, or when
    /// `cancel` is raised.
    static std::string run(const std::vector<std::string> &argv, std::chrono::milliseconds timeout,
                           const CancelSignal *cancel = nullptr);

private:
    class Descriptor {
    public:
        explicit Descriptor(int fd = -1) noexcept
            : m_fd(fd) {}
        ~Descriptor() { reset(); }
        Descriptor(const Descriptor &) = delete;
        Descriptor &operator=(const Descriptor &) = delete;
        int get() const noexcept { return m_fd; }
        explicit operator bool() const noexcept { return m_fd >= 0; }
        void reset(int fd = -1) noexcept;

    private:
        int m_fd;
    };

    void drainErrors();
    std::string stoppedMessage();

    int m_pid = -1;
    Descriptor m_input;
    Descriptor m_output;
    Descriptor m_errors;
    std::string m_errorTail;
};

} // namespace Orvinta
