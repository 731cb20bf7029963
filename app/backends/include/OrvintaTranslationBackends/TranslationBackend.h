#pragma once

#include <stdexcept>
#include <string>

namespace Orvinta {

/// A translation that could not be made; what() is meant for the user and the log.
class TranslationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A translation that TranslationBackend::cancel() stopped.
class TranslationCancelled : public TranslationError {
public:
    TranslationCancelled()
        : TranslationError("The translation was cancelled") {}
};

/// A blocking translator between two languages named by locale identifiers
/// ("en-US", "es-ES"). Called off the main thread; free of Qt.
class TranslationBackend {
public:
    virtual ~TranslationBackend() = default;
    /// Returns the translation of `text` (UTF-8) or throws TranslationError.
    virtual std::string translate(const std::string &from, const std::string &to,
                                  const std::string &text) = 0;
    /// Makes a translate() in progress on another thread throw
    /// TranslationCancelled soon; requests made later run as usual. Callable
    /// from any thread. A back end that cannot be interrupted ignores it.
    virtual void cancel() {}
};

} // namespace Orvinta
