#include <OrvintaApp/ApertiumTranslator.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace Orvinta {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The stream format reserves these; they travel escaped with a backslash.
constexpr std::string_view reservedCharacters = "\\$/<>@[]{}*";
// lt-proc loses '~' and stalls on an escaped '^' at the end of a block, so
// both travel as private-use characters instead.
constexpr std::string_view caretStandIn = "\xEE\x80\x80";         // U+E000
constexpr std::string_view tildeStandIn = "\xEE\x80\x81";         // U+E001
constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD"; // U+FFFD

struct Language {
    std::string_view iso1;
    std::string_view iso3;
    std::string_view name;
};

constexpr Language knownLanguages[] = {
    {"an", "arg", "Aragonese"},  {"ar", "ara", "Arabic"},     {"ast", "ast", "Asturian"},
    {"ca", "cat", "Catalan"},    {"cy", "cym", "Welsh"},      {"da", "dan", "Danish"},
    {"de", "deu", "German"},     {"en", "eng", "English"},    {"eo", "epo", "Esperanto"},
    {"es", "spa", "Spanish"},    {"eu", "eus", "Basque"},     {"fi", "fin", "Finnish"},
    {"fr", "fra", "French"},     {"gl", "glg", "Galician"},   {"he", "heb", "Hebrew"},
    {"hi", "hin", "Hindi"},      {"id", "ind", "Indonesian"}, {"it", "ita", "Italian"},
    {"ja", "jpn", "Japanese"},   {"ko", "kor", "Korean"},     {"ms", "msa", "Malay"},
    {"nb", "nob", "Norwegian"},  {"nl", "nld", "Dutch"},      {"nn", "nno", "Norwegian Nynorsk"},
    {"oc", "oci", "Occitan"},    {"pl", "pol", "Polish"},     {"pt", "por", "Portuguese"},
    {"ro", "ron", "Romanian"},   {"ru", "rus", "Russian"},    {"sv", "swe", "Swedish"},
    {"th", "tha", "Thai"},       {"tr", "tur", "Turkish"},    {"uk", "ukr", "Ukrainian"},
    {"vi", "vie", "Vietnamese"}, {"yue", "yue", "Cantonese"}, {"zh", "zho", "Chinese"},
};

constexpr std::string_view pivotLanguage = "es";

struct Locale {
    std::string identifier;
    std::string language; // lower case, as given
    std::string region;   // upper case, may be empty
    const Language *known = nullptr;

    explicit Locale(std::string id)
        : identifier(std::move(id)) {
        std::vector<std::string> parts(1);
        for (char c : identifier) {
            if (c == '-' || c == '_')
                parts.emplace_back();
            else
                parts.back() += c;
        }
        for (char c : parts[0])
            language += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string &part = parts[i];
            const bool letters =
                part.size() == 2 && std::all_of(part.begin(), part.end(), [](char c) {
                    return std::isalpha(static_cast<unsigned char>(c));
                });
            const bool digits =
                part.size() == 3 && std::all_of(part.begin(), part.end(), [](char c) {
                    return std::isdigit(static_cast<unsigned char>(c));
                });
            if (letters || digits) {
                region.clear();
                for (char c : part)
                    region += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
        }
        for (const Language &candidate : knownLanguages) {
            if (language == candidate.iso1 || language == candidate.iso3)
                known = &candidate;
        }
    }

    /// The names Apertium may give the language, the three-letter one first.
    std::vector<std::string> codes() const {
        if (!known)
            return {language};
        std::vector<std::string> result{std::string(known->iso3)};
        if (known->iso1 != known->iso3)
            result.emplace_back(known->iso1);
        return result;
    }

    std::string name() const { return known ? std::string(known->name) : identifier; }

    bool sameLanguage(const Locale &other) const {
        return known ? known == other.known : language == other.language;
    }
};

class Fd {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1)) {}
    Fd &operator=(Fd &&other) noexcept {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

std::string systemError(const std::string &what, int error) {
    return what + ": " + std::strerror(error);
}

void makePipe(Fd &readEnd, Fd &writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw TranslationError(systemError("Cannot create a pipe for Apertium", errno));
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
}

/// Starts `argv` in a process group of its own with the given standard streams.
pid_t spawn(const std::vector<std::string> &argv, int input, int output, int errors) {
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
        throw TranslationError(systemError("Cannot start " + argv[0], error));
    return pid;
}

void reap(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

/// True once `pid` has exited; it stays unreaped (so its id cannot be reused).
bool hasExited(pid_t pid) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno != EINTR;
    return info.si_pid == pid;
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

struct PipelineFailure {
    std::string reason;
    bool timedOut = false;
};

/// One running Apertium pipeline: text in on a socket, NUL-terminated answers out.
class Pipeline {
public:
    explicit Pipeline(const std::string &command) {
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            throw TranslationError(systemError("Cannot create a socket for Apertium", errno));
        m_input.reset(pair[0]);
        Fd childInput(pair[1]);
        Fd childOutput, childErrors;
        makePipe(m_output, childOutput);
        makePipe(m_errors, childErrors);
        m_pid = spawn({"/bin/sh", "-c", command}, childInput.get(), childOutput.get(),
                      childErrors.get());
        for (const Fd *fd : {&m_input, &m_output, &m_errors})
            ::fcntl(fd->get(), F_SETFL, ::fcntl(fd->get(), F_GETFL) | O_NONBLOCK);
    }

    ~Pipeline() { kill(); }

    pid_t pid() const { return m_pid; }

    /// Sends one NUL-terminated block and returns the answer without its NUL.
    std::string process(const std::string &block, milliseconds stallTimeout) {
        // Output before a request, or a pipeline that ended, means an earlier
        // stage failed; such a pipeline cannot answer in step any more.
        pollfd probe{m_output.get(), POLLIN, 0};
        if (hasExited(m_pid) || ::poll(&probe, 1, 0) > 0)
            throw PipelineFailure{stoppedMessage()};

        std::string answer;
        std::size_t written = 0;
        auto deadline = Clock::now() + stallTimeout;
        for (;;) {
            pollfd fds[3];
            nfds_t count = 0;
            fds[count++] = {m_output.get(), POLLIN, 0};
            const bool watchErrors = static_cast<bool>(m_errors);
            if (watchErrors)
                fds[count++] = {m_errors.get(), POLLIN, 0};
            const bool writing = written < block.size();
            if (writing)
                fds[count++] = {m_input.get(), POLLOUT, 0};

            const int timeout = millisecondsUntil(deadline);
            if (timeout == 0)
                throw PipelineFailure{"gave no answer within " + formatSeconds(stallTimeout), true};
            const int ready = ::poll(fds, count, timeout);
            if (ready < 0) {
                if (errno == EINTR)
                    continue;
                throw PipelineFailure{systemError("poll failed", errno)};
            }
            if (ready == 0)
                continue;

            if (watchErrors && fds[1].revents != 0)
                drainErrors();
            if (writing && (fds[count - 1].revents & (POLLOUT | POLLERR | POLLHUP))) {
                const ssize_t sent = ::send(m_input.get(), block.data() + written,
                                            block.size() - written, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    throw PipelineFailure{stoppedMessage()};
                if (sent > 0) {
                    written += static_cast<std::size_t>(sent);
                    deadline = Clock::now() + stallTimeout;
                }
            }
            if (fds[0].revents != 0) {
                char buffer[16384];
                const ssize_t received = ::read(m_output.get(), buffer, sizeof buffer);
                if (received == 0)
                    throw PipelineFailure{stoppedMessage()};
                if (received < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                    throw PipelineFailure{systemError("reading its output failed", errno)};
                if (received > 0) {
                    answer.append(buffer, static_cast<std::size_t>(received));
                    deadline = Clock::now() + stallTimeout;
                    const auto end = answer.find('\0');
                    if (end != std::string::npos) {
                        // Anything after the answer, or an answer before all
                        // input was taken, comes from a stage that gave up.
                        if (end + 1 != answer.size() || written < block.size())
                            throw PipelineFailure{stoppedMessage()};
                        answer.resize(end);
                        return answer;
                    }
                }
            }
        }
    }

    /// Ends the pipeline gracefully: end of input, then a grace period.
    void closeInput() {
        m_input.reset();
        m_output.reset();
        m_errors.reset();
    }

    /// Waits until `deadline` for the pipeline to end by itself, then kills
    /// what is left of its process group and reaps it.
    void finish(Clock::time_point deadline) {
        if (m_pid <= 0)
            return;
        while (!hasExited(m_pid) && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(5));
        kill();
    }

    void kill() {
        closeInput();
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGKILL);
        reap(m_pid);
        m_pid = -1;
    }

private:
    void drainErrors() {
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

    std::string stoppedMessage() {
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

    pid_t m_pid = -1;
    Fd m_input;
    Fd m_output;
    Fd m_errors;
    std::string m_errorTail;
};

/// Runs a short command and returns its standard output.
std::string runForOutput(const std::vector<std::string> &argv, milliseconds timeout) {
    Fd output, childOutput;
    makePipe(output, childOutput);
    Fd nullDevice(::open("/dev/null", O_RDWR | O_CLOEXEC));
    const pid_t pid = spawn(argv, nullDevice.get(), childOutput.get(), nullDevice.get());
    childOutput.reset();
    std::string result;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd fd{output.get(), POLLIN, 0};
        const int ready = ::poll(&fd, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ::kill(-pid, SIGKILL);
            reap(pid);
            throw TranslationError(argv[0] + " gave no answer");
        }
        char buffer[4096];
        const ssize_t received = ::read(output.get(), buffer, sizeof buffer);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            break;
        result.append(buffer, static_cast<std::size_t>(received));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw TranslationError(argv[0] + " failed");
    return result;
}

void replaceAll(std::string &text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string escapeForStream(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 8 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const std::string_view rest = text.substr(i);
        if (rest.starts_with(caretStandIn) || rest.starts_with(tildeStandIn)) {
            escaped += replacementCharacter;
            i += 2;
        } else if (c == '\0') {
            continue;
        } else if (c == '^') {
            escaped += caretStandIn;
        } else if (c == '~') {
            escaped += tildeStandIn;
        } else {
            if (reservedCharacters.find(c) != std::string_view::npos)
                escaped += '\\';
            escaped += c;
        }
    }
    return escaped;
}

std::string unescapeFromStream(std::string_view stream) {
    std::string text;
    text.reserve(stream.size());
    for (std::size_t i = 0; i < stream.size(); ++i) {
        const std::string_view rest = stream.substr(i);
        if (stream[i] == '\\' && i + 1 < stream.size()) {
            text += stream[++i];
        } else if (rest.starts_with(caretStandIn)) {
            text += '^';
            i += 2;
        } else if (rest.starts_with(tildeStandIn)) {
            text += '~';
            i += 2;
        } else if (stream[i] != '\0') {
            text += stream[i];
        }
    }
    return text;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

/// The first word of each stage of a shell pipeline.
std::vector<std::string> programsOf(const std::string &command) {
    std::vector<std::string> programs;
    std::size_t start = 0;
    while (start <= command.size()) {
        std::size_t end = command.find('|', start);
        if (end == std::string::npos)
            end = command.size();
        std::size_t first = start;
        while (first < end && isBlank(command[first]))
            ++first;
        std::size_t last = first;
        while (last < end && !isBlank(command[last]))
            ++last;
        if (last > first)
            programs.push_back(command.substr(first, last - first));
        start = end + 1;
    }
    return programs;
}

bool isInstalledProgram(const std::string &program) {
    if (program.find('/') != std::string::npos)
        return ::access(program.c_str(), X_OK) == 0;
    const char *path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        std::size_t end = directories.find(':', start);
        if (end == std::string::npos)
            end = directories.size();
        const std::string directory = end > start ? directories.substr(start, end - start) : ".";
        if (::access((directory + "/" + program).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

/// The translation of a trimmed text: trimmed as well, and without the
/// double spaces that a dropped word leaves behind unless the source had some.
std::string tidy(std::string text, bool sourceHasDoubleSpaces) {
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    text = first < last ? std::string(first, last) : std::string();
    if (!sourceHasDoubleSpaces)
        replaceAll(text, "  ", " ");
    return text;
}

} // namespace

struct ApertiumTranslator::Impl {
    Options options;
    mutable std::mutex mutex;
    std::map<std::string, std::unique_ptr<Pipeline>> pipelines;
    std::map<std::string, std::string> commands;

    bool installed(const std::string &mode) const {
        std::error_code error;
        return std::filesystem::is_regular_file(
            std::filesystem::path(options.modesDirectory) / (mode + ".mode"), error);
    }

    std::optional<std::string> findMode(const Locale &from, const Locale &to) const {
        std::vector<std::string> targets;
        if (!to.region.empty()) {
            for (const std::string &code : to.codes())
                targets.push_back(code + "_" + to.region);
        }
        for (const std::string &code : to.codes())
            targets.push_back(code);
        for (const std::string &source : from.codes()) {
            for (const std::string &target : targets) {
                if (installed(source + "-" + target))
                    return source + "-" + target;
            }
        }
        return std::nullopt;
    }

    std::vector<std::string> route(const std::string &fromIdentifier,
                                   const std::string &toIdentifier) const {
        const Locale from(fromIdentifier);
        const Locale to(toIdentifier);
        if (from.sameLanguage(to))
            return {};
        if (auto direct = findMode(from, to))
            return {*direct};
        const Locale pivot{std::string(pivotLanguage)};
        if (!from.sameLanguage(pivot) && !to.sameLanguage(pivot)) {
            const auto first = findMode(from, pivot);
            const auto second = findMode(pivot, to);
            if (first && second)
                return {*first, *second};
        }
        throw TranslationError("No translation for " + from.name() + " → " + to.name() +
                               " is installed (apertium pair " + from.codes().front() + "-" +
                               to.codes().front() + ")");
    }

    const std::string &command(const std::string &mode) {
        auto found = commands.find(mode);
        if (found != commands.end())
            return found->second;
        const std::string file =
            (std::filesystem::path(options.modesDirectory) / (mode + ".mode")).string();
        std::string command;
        try {
            // The null-flush form of the mode answers each NUL-terminated block at once.
            command = runForOutput({"apertium-wblank-mode", "-z", file}, milliseconds(10000));
        } catch (const TranslationError &error) {
            throw TranslationError("Cannot read the apertium pair " + mode + " (" + error.what() +
                                   ")");
        }
        while (!command.empty() && isBlank(command.back()))
            command.pop_back();
        if (command.empty())
            throw TranslationError("The apertium pair " + mode + " is empty");
        // $1: generation without unknown-word marks; $2: no extra tagger options.
        replaceAll(command, "$1", "-n");
        replaceAll(command, "$2", "");
        // A missing program would only show as empty answers.
        for (const std::string &program : programsOf(command)) {
            if (!isInstalledProgram(program))
                throw TranslationError("The apertium pair " + mode + " needs " + program +
                                       ", which is not installed");
        }
        return commands.emplace(mode, std::move(command)).first->second;
    }

    std::string translateWith(const std::string &mode, const std::string &text) {
        const std::string block = escapeForStream(text) + '\n' + '\0';
        const bool sourceHasDoubleSpaces = text.find("  ") != std::string::npos;
        for (int attempt = 0;; ++attempt) {
            std::unique_ptr<Pipeline> &pipeline = pipelines[mode];
            if (!pipeline)
                pipeline = std::make_unique<Pipeline>(command(mode));
            try {
                std::string answer = pipeline->process(block, options.stallTimeout);
                return tidy(unescapeFromStream(answer), sourceHasDoubleSpaces);
            } catch (const PipelineFailure &failure) {
                pipeline.reset();
                // A pipeline that died is restarted once; one that hangs is not
                // waited for twice.
                if (failure.timedOut || attempt > 0)
                    throw TranslationError("The apertium pair " + mode + " " + failure.reason);
            }
        }
    }
};

ApertiumTranslator::ApertiumTranslator()
    : ApertiumTranslator(Options{}) {}

ApertiumTranslator::ApertiumTranslator(Options options)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->options = std::move(options);
}

ApertiumTranslator::~ApertiumTranslator() {
    std::lock_guard lock(m_impl->mutex);
    for (auto &[mode, pipeline] : m_impl->pipelines) {
        if (pipeline)
            pipeline->closeInput();
    }
    const auto deadline = Clock::now() + milliseconds(2000);
    for (auto &[mode, pipeline] : m_impl->pipelines) {
        if (pipeline)
            pipeline->finish(deadline);
    }
}

std::string ApertiumTranslator::translate(const std::string &from, const std::string &to,
                                          const std::string &text) {
    std::lock_guard lock(m_impl->mutex);
    const std::vector<std::string> modes = m_impl->route(from, to);
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), isBlank).base();
    if (modes.empty() || first >= last)
        return text;
    std::string translation(first, last);
    for (const std::string &mode : modes)
        translation = m_impl->translateWith(mode, translation);
    return std::string(text.begin(), first) + translation + std::string(last, text.end());
}

std::vector<std::string> ApertiumTranslator::route(const std::string &from,
                                                   const std::string &to) const {
    return m_impl->route(from, to);
}

std::vector<int> ApertiumTranslator::runningPipelines() const {
    std::lock_guard lock(m_impl->mutex);
    std::vector<int> pids;
    for (const auto &[mode, pipeline] : m_impl->pipelines) {
        if (pipeline && pipeline->pid() > 0)
            pids.push_back(pipeline->pid());
    }
    return pids;
}

} // namespace Orvinta
