#include <OrvintaTranslationBackends/ApertiumTranslator.h>
#include <OrvintaTranslationBackends/Subprocess.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include <unistd.h>

namespace Orvinta {
namespace {

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

/// Identifiers become file names: parts of ASCII letters and digits joined
/// by '-' or '_', nothing else.
bool isValidIdentifier(std::string_view identifier) {
    if (identifier.empty() || identifier.size() > 64)
        return false;
    bool afterSeparator = true;
    for (char c : identifier) {
        const bool separator = c == '-' || c == '_';
        const bool alphanumeric =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && (!separator || afterSeparator))
            return false;
        afterSeparator = separator;
    }
    return !afterSeparator;
}

/// A mode name made of valid identifiers: a plain file name, never a path.
bool isValidModeName(std::string_view mode) {
    return !mode.empty() && std::all_of(mode.begin(), mode.end(), [](char c) {
        return c == '-' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               (c >= '0' && c <= '9');
    });
}

TranslationError unknownLanguage(std::string identifier) {
    for (char &c : identifier) {
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = '?';
    }
    return TranslationError("Unknown language: " + identifier);
}

} // namespace

struct ApertiumTranslator::Impl {
    Options options;
    /// Held for a whole request.
    mutable std::mutex mutex;
    std::map<std::string, std::unique_ptr<Subprocess>> pipelines;
    std::map<std::string, std::string> commands;

    CancelSignal cancelSignal;
    /// Guards what cancel() and runningPipelines() read during a request.
    mutable std::mutex stateMutex;
    bool busy = false;
    bool closing = false;
    std::vector<int> pipelineIds;

    /// Marks a request in progress, so that cancel() applies to it alone.
    class Request {
    public:
        explicit Request(Impl &impl)
            : m_impl(impl) {
            std::lock_guard lock(m_impl.stateMutex);
            if (m_impl.closing)
                throw TranslationCancelled();
            m_impl.cancelSignal.clear();
            m_impl.busy = true;
        }
        ~Request() {
            std::lock_guard lock(m_impl.stateMutex);
            m_impl.busy = false;
            m_impl.cancelSignal.clear();
        }
        Request(const Request &) = delete;
        Request &operator=(const Request &) = delete;

    private:
        Impl &m_impl;
    };

    void cancel(bool forGood) {
        std::lock_guard lock(stateMutex);
        closing = closing || forGood;
        if (busy)
            cancelSignal.raise();
    }

    /// Called with `mutex` held after each change to `pipelines`.
    void publishPipelines() {
        std::vector<int> ids;
        for (const auto &[mode, pipeline] : pipelines) {
            if (pipeline)
                ids.push_back(pipeline->pid());
        }
        std::lock_guard lock(stateMutex);
        pipelineIds = std::move(ids);
    }

    bool installed(const std::string &mode) const {
        if (!isValidModeName(mode))
            return false;
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
        for (const std::string *identifier : {&fromIdentifier, &toIdentifier}) {
            if (!isValidIdentifier(*identifier))
                throw unknownLanguage(*identifier);
        }
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
            command = Subprocess::run({"apertium-wblank-mode", "-z", file}, milliseconds(10000),
                                      &cancelSignal);
        } catch (const SubprocessError &error) {
            if (error.reason() == SubprocessError::Reason::Cancelled)
                throw TranslationCancelled();
            throw TranslationError("Cannot read the apertium pair " + mode +
                                   " (apertium-wblank-mode " + error.what() + ")");
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
            std::unique_ptr<Subprocess> &pipeline = pipelines[mode];
            if (!pipeline) {
                const std::string &line = command(mode);
                try {
                    pipeline = Subprocess::shell(line);
                } catch (const SubprocessError &error) {
                    throw TranslationError("The apertium pair " + mode + " " + error.what());
                }
                publishPipelines();
            }
            try {
                std::string answer =
                    pipeline->exchange(block, '\0', options.stallTimeout, &cancelSignal);
                return tidy(unescapeFromStream(answer), sourceHasDoubleSpaces);
            } catch (const SubprocessError &failure) {
                // Out of step for good: a later request starts it again.
                pipeline.reset();
                publishPipelines();
                if (failure.reason() == SubprocessError::Reason::Cancelled)
                    throw TranslationCancelled();
                // A pipeline that died is restarted once; one that hangs is not
                // waited for twice.
                if (failure.reason() == SubprocessError::Reason::TimedOut || attempt > 0)
                    throw TranslationError("The apertium pair " + mode + " " + failure.what());
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
    m_impl->cancel(true);
    // Waits only for a request in progress to give up; the pipelines hold
    // nothing worth a graceful end.
    std::lock_guard lock(m_impl->mutex);
    m_impl->pipelines.clear();
}

std::string ApertiumTranslator::translate(const std::string &from, const std::string &to,
                                          const std::string &text) {
    std::lock_guard lock(m_impl->mutex);
    const Impl::Request request(*m_impl);
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

void ApertiumTranslator::cancel() {
    m_impl->cancel(false);
}

std::vector<std::string> ApertiumTranslator::route(const std::string &from,
                                                   const std::string &to) const {
    return m_impl->route(from, to);
}

std::vector<int> ApertiumTranslator::runningPipelines() const {
    std::lock_guard lock(m_impl->stateMutex);
    return m_impl->pipelineIds;
}

} // namespace Orvinta
