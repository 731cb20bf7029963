#include "AppTestSupport.h"

#include <OrvintaApp/Translator.h>

#include <condition_variable>
#include <mutex>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

/// Holds each request until it is cancelled or released (or 5 s pass);
/// answers "<target>:<text>".
class BlockingBackend : public TranslationBackend {
public:
    std::string translate(const std::string &, const std::string &to,
                          const std::string &text) override {
        std::unique_lock lock(m_mutex);
        ++m_started;
        m_inProgress = true;
        m_cancelled = false;
        m_changed.wait_for(lock, 5s, [this] { return m_cancelled || m_released; });
        m_inProgress = false;
        if (m_cancelled)
            throw TranslationCancelled();
        return to + ":" + text;
    }

    void cancel() override {
        std::lock_guard lock(m_mutex);
        if (m_inProgress) {
            m_cancelled = true;
            m_changed.notify_all();
        }
    }

    void release() {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

    int started() const {
        std::lock_guard lock(m_mutex);
        return m_started;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_started = 0;
    bool m_inProgress = false;
    bool m_cancelled = false;
    bool m_released = false;
};

const TranslationConfiguration englishToSpanish{"en-US", "es-ES"};

/// What an action got from its batch.
struct BatchOutcome {
    std::vector<QString> responses;
    std::optional<QString> error;
    bool finished = false;
};

/// A translator whose action translates `texts` as one batch.
std::unique_ptr<Translator> startTranslating(std::shared_ptr<TranslationBackend> backend,
                                             QStringList texts,
                                             std::shared_ptr<BatchOutcome> outcome) {
    auto translator = std::make_unique<Translator>(std::move(backend));
    translator->setAction([texts, outcome](std::shared_ptr<TranslationSession> session,
                                           CancellationToken) -> QCoro::Task<> {
        QList<TranslationRequest> requests;
        for (const QString &text : texts)
            requests.push_back({text, text});
        TranslationBatch batch = session->translations(requests);
        try {
            for (;;) {
                QCoro::Task<std::optional<TranslationResponse>> next = batch.next();
                const std::optional<TranslationResponse> response = co_await next;
                if (!response)
                    break;
                outcome->responses.push_back(response->targetText);
            }
        } catch (const TranslationError &error) {
            outcome->error = QString::fromUtf8(error.what());
        }
        outcome->finished = true;
    });
    translator->setConfiguration(englishToSpanish);
    return translator;
}

} // namespace

TEST(Translator, closingCancelsTheRequestInProgressAndDropsTheRest) {
    auto backend = std::make_shared<BlockingBackend>();
    auto outcome = std::make_shared<BatchOutcome>();
    auto translator = startTranslating(backend, {"one", "two"}, outcome);
    ASSERT_TRUE(waitUntil([&] { return backend->started() == 1; }));

    const auto started = Clock::now();
    translator.reset();
    EXPECT_LT(Clock::now() - started, 1s);

    // The waiting action learns that the translator is gone; nothing else ran.
    EXPECT_TRUE(waitUntil([&] { return outcome->finished; }));
    spin(50ms);
    EXPECT_TRUE(outcome->responses.empty());
    EXPECT_EQ(outcome->error, "The translator has been shut down");
    EXPECT_EQ(backend->started(), 1);

    // The back end itself is still usable.
    backend->release();
    auto again = std::make_shared<BatchOutcome>();
    translator = startTranslating(backend, {"Good morning."}, again);
    ASSERT_TRUE(waitUntil([&] { return again->finished; }));
    EXPECT_EQ(again->responses, std::vector<QString>{"es-ES:Good morning."});
}
