#pragma once

#include <OrvintaTranslationBackends/TranslationBackend.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace Orvinta {

/// Translation through Apertium: one persistent pipeline per installed pair,
/// started on first use and kept until the translator is destroyed. Where no
/// direct pair is installed, the text goes through Spanish (English → French
/// is eng-spa, then es-fr). Thread-safe; one request at a time. Cancelling a
/// request, or destroying the translator during one, kills its pipeline at
/// once; the next request starts it again.
class ApertiumTranslator final : public TranslationBackend {
public:
    struct Options {
        std::string modesDirectory = "/usr/share/apertium/modes";
        /// A pipeline that produces nothing for this long is killed and the
        /// request fails; long texts keep going as long as output flows.
        std::chrono::milliseconds stallTimeout{20000};
    };

    ApertiumTranslator();
    explicit ApertiumTranslator(Options options);
    ~ApertiumTranslator() override;

    ApertiumTranslator(const ApertiumTranslator &) = delete;
    ApertiumTranslator &operator=(const ApertiumTranslator &) = delete;

    std::string translate(const std::string &from, const std::string &to,
                          const std::string &text) override;
    void cancel() override;

    /// The installed modes a translation goes through, in order: empty when
    /// both identifiers name the same language. Throws TranslationError when
    /// no route is installed or an identifier is not of letters, digits, '-'
    /// and '_'.
    std::vector<std::string> route(const std::string &from, const std::string &to) const;

    /// Process ids of the running pipelines (each leads its own process group).
    std::vector<int> runningPipelines() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Orvinta
