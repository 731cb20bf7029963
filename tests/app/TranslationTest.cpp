#include "AppTestSupport.h"

#include <OrvintaApp/TranslationController.h>
#include <OrvintaApp/Translator.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

/// Answers "<target>:<text>", records every text, fails every call once
/// `successesLeft` calls have passed, and holds each call for `hold` (or,
/// when `cancellable`, until it is cancelled).
class ScriptedBackend : public TranslationBackend {
public:
    std::string translate(const std::string &, const std::string &to,
                          const std::string &text) override {
        std::unique_lock lock(m_mutex);
        m_texts.push_back(QString::fromStdString(text));
        m_firstCall = m_firstCall.value_or(Clock::now());
        if (successesLeft.fetch_sub(1) <= 0)
            throw TranslationError("scripted failure");
        m_cancelled = false;
        if (m_changed.wait_for(lock, hold.load(), [this] { return m_cancelled; }))
            throw TranslationCancelled();
        return to + ":" + text;
    }
    void cancel() override {
        std::lock_guard lock(m_mutex);
        m_cancelled = cancellable;
        m_changed.notify_all();
    }
    QStringList texts() const {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    Clock::time_point firstCallTime() const {
        std::lock_guard lock(m_mutex);
        return *m_firstCall;
    }
    void forget() {
        std::lock_guard lock(m_mutex);
        m_texts.clear();
        m_firstCall.reset();
    }

    static constexpr int never = 1 << 30;
    std::atomic<int> successesLeft{never};
    std::atomic<std::chrono::milliseconds> hold{0ms};
    std::atomic<bool> cancellable = false;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_texts;
    std::optional<Clock::time_point> m_firstCall;
    bool m_cancelled = false;
};

struct TranslationFixture : AppFixture {
    explicit TranslationFixture(const QString &target = "es-ES",
                                std::chrono::milliseconds interimDelay = 150ms)
        : controller((state->preferences()->setTargetLanguage(target),
                      std::make_unique<TranslationController>(*state, backend, interimDelay))) {}
    /// Starts listening and waits until the first pass of the session ended.
    void listenUntilTheFirstPass() {
        toggleListening();
        ASSERT_TRUE(waitUntil([&] { return passes.count() == 1; }));
    }
    void addLines(int from, int to) {
        for (int i = from; i <= to; ++i)
            state->addConfirmedLine(QString("Line %1.").arg(i));
    }
    QString translationOf(int line) const {
        return state->transcript()->translations().value(
            state->transcript()->confirmedLines().at(line - 1).id);
    }
    /// Waits until no pass runs or waits for its debounce.
    void settle() {
        spin(20ms);
        ASSERT_TRUE(waitUntil([&] { return !controller->isBusy(); }));
    }

    std::shared_ptr<ScriptedBackend> backend = std::make_shared<ScriptedBackend>();
    std::unique_ptr<TranslationController> controller;
    QSignalSpy passes{controller.get(), &TranslationController::passFinished};
};

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
    translator->setConfiguration(TranslationConfiguration{"en-US", "es-ES"});
    return translator;
}

} // namespace

TEST(Translation, aPassTranslatesNewestFirstAndAnimatesOnlyASingleLine) {
    TranslationFixture f;
    f.addLines(1, 5);
    QSignalSpy delivered(f.controller.get(), &TranslationController::translationDelivered);
    spin(50ms);
    EXPECT_TRUE(f.backend->texts().empty()) << "translation begins with the first listening run";
    EXPECT_FALSE(f.controller->translationConfig());

    f.listenUntilTheFirstPass();
    EXPECT_EQ(f.controller->translationConfig(), (TranslationConfiguration{"en-US", "es-ES"}));
    EXPECT_TRUE(f.controller->translationSessionReady());
    EXPECT_EQ(f.backend->texts().join('|'), "Line 5.|Line 4.|Line 3.|Line 2.|Line 1.");
    EXPECT_EQ(f.translationOf(1), "es-ES:Line 1.");
    EXPECT_EQ(f.translationOf(5), "es-ES:Line 5.");
    ASSERT_EQ(delivered.count(), 5);
    for (const QList<QVariant> &signal : delivered)
        EXPECT_FALSE(signal.at(1).toBool());

    // A new line starts a pass of its own at once, for that line only.
    f.backend->forget();
    f.addLines(6, 6);
    ASSERT_TRUE(waitUntil([&] { return f.passes.count() == 2; }));
    EXPECT_EQ(f.backend->texts().join('|'), "Line 6.");
    ASSERT_EQ(delivered.count(), 6);
    EXPECT_EQ(delivered.last().at(0).value<QUuid>(),
              f.state->transcript()->confirmedLines().last().id);
    EXPECT_TRUE(delivered.last().at(1).toBool());

    // Stopping does not end the session; deleting a line asks for nothing new.
    f.toggleListening();
    const QUuid first = f.state->transcript()->confirmedLines().first().id;
    f.state->transcript()->deleteLine(first);
    f.addLines(7, 7);
    ASSERT_TRUE(waitUntil([&] { return f.state->transcript()->translations().size() == 6; }));
    EXPECT_EQ(f.backend->texts().join('|'), "Line 6.|Line 7.");
}

TEST(Translation, interimChangesCauseOnePassAfterTheLastChange) {
    const auto delay = 150ms;
    TranslationFixture f("es-ES", delay);
    f.listenUntilTheFirstPass();

    QString text;
    for (int i = 0; i < 20; ++i) {
        text += QString(" word%1").arg(i);
        f.state->setInterimText(text.trimmed());
        spin(10ms);
    }
    const auto lastChange = Clock::now();
    EXPECT_TRUE(f.backend->texts().empty());
    ASSERT_TRUE(waitUntil([&] { return !f.controller->translatedInterim().isEmpty(); }));
    EXPECT_EQ(f.controller->translatedInterim(), "es-ES:" + text.trimmed());
    spin(delay + 100ms);
    ASSERT_EQ(f.backend->texts(), QStringList{text.trimmed()});
    EXPECT_GE(f.backend->firstCallTime() - lastChange, delay - 20ms);
    EXPECT_EQ(f.passes.count(), 2);

    // A failing interim translation leaves nothing under the interim bubble.
    LogCapture log;
    f.backend->successesLeft = 0;
    f.state->setInterimText("Something else");
    ASSERT_TRUE(waitUntil([&] { return f.controller->translatedInterim().isEmpty(); }));
    EXPECT_FALSE(log.contains("com.orvinta.Overlay")) << log.all().toStdString();
}

TEST(Translation, aNewLineTakesOverTheInterimTranslation) {
    TranslationFixture f;
    auto &pasted = f.paster->pasted;
    f.state->preferences()->setAutoPasteAtCursor(true);
    f.state->preferences()->setAutoPasteSource(AutoPasteSource::translation);
    f.listenUntilTheFirstPass();

    f.state->setInterimText("Hello world");
    ASSERT_TRUE(
        waitUntil([&] { return f.controller->translatedInterim() == "es-ES:Hello world"; }));
    f.state->addConfirmedLine("Hello world.");
    EXPECT_EQ(f.translationOf(1), "es-ES:Hello world"); // at once
    EXPECT_TRUE(f.controller->translatedInterim().isEmpty());
    f.settle();
    EXPECT_EQ(f.backend->texts(), QStringList{"Hello world"}) << "not sent again";

    // An interim text that was not yet the whole sentence is shown at once,
    // then replaced by the translation of the line itself.
    f.state->setInterimText("How are");
    ASSERT_TRUE(waitUntil([&] { return f.controller->translatedInterim() == "es-ES:How are"; }));
    f.state->addConfirmedLine("How are you today?");
    EXPECT_EQ(f.translationOf(2), "es-ES:How are");
    ASSERT_TRUE(waitUntil([&] { return f.translationOf(2) == "es-ES:How are you today?"; }));
    f.settle();
    EXPECT_EQ(f.translationOf(1), "es-ES:Hello world");

    // Each line's first translation is pasted once.
    EXPECT_EQ(pasted, (std::vector<QString>{"es-ES:Hello world", "es-ES:How are"}));
}

TEST(Translation, aFailedBatchKeepsWhatArrivedAndTheNextPassAsksForTheRest) {
    TranslationFixture f;
    LogCapture log;
    f.addLines(1, 6);
    f.backend->successesLeft = 3;
    f.listenUntilTheFirstPass();
    EXPECT_EQ(f.state->transcript()->translations().size(), 3);
    for (int line : {4, 5, 6})
        EXPECT_EQ(f.translationOf(line), QString("es-ES:Line %1.").arg(line));
    EXPECT_EQ(log.count("com.orvinta.Overlay"), 1) << log.all().toStdString();
    EXPECT_TRUE(log.contains("com.orvinta.Overlay: Translation batch failed: scripted failure"));

    f.backend->successesLeft = ScriptedBackend::never;
    f.backend->forget();
    f.addLines(7, 7);
    ASSERT_TRUE(waitUntil([&] { return f.passes.count() == 2; }));
    EXPECT_EQ(f.backend->texts().join('|'), "Line 7.|Line 3.|Line 2.|Line 1.");
    EXPECT_EQ(f.state->transcript()->translations().size(), 7);
}

TEST(Translation, aNewPassCancelsTheRunningOne) {
    TranslationFixture f;
    f.backend->hold = 20ms;
    f.addLines(1, 10);
    QSignalSpy delivered(f.controller.get(), &TranslationController::translationDelivered);
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return delivered.count() >= 2; }));
    f.addLines(11, 11);
    ASSERT_TRUE(waitUntil([&] { return f.state->transcript()->translations().size() == 11; }));
    f.settle();
    // Every line got exactly one translation: the cancelled pass stored nothing more.
    QSet<QUuid> ids;
    for (const QList<QVariant> &signal : delivered)
        ids.insert(signal.at(0).value<QUuid>());
    EXPECT_EQ(delivered.count(), 11);
    EXPECT_EQ(ids.size(), 11);
}

TEST(Translation, theSameLanguageTranslatesNothingAndANewControllerWaitsForTheNextRun) {
    TranslationFixture f("en-US");
    EXPECT_FALSE(f.controller->shouldShowTranslation());
    f.toggleListening();
    f.addLines(1, 2);
    f.state->setInterimText("Hello");
    spin(250ms);
    EXPECT_FALSE(f.controller->translationConfig());
    EXPECT_TRUE(f.backend->texts().empty());
    EXPECT_TRUE(f.state->transcript()->translations().isEmpty());
    EXPECT_TRUE(f.controller->translatedInterim().isEmpty());

    // 'en-US' and 'en-GB' are different identifiers.
    f.state->preferences()->setTargetLanguage("en-GB");
    EXPECT_TRUE(f.controller->shouldShowTranslation());

    // A controller created during a run waits for the next run.
    f.controller = std::make_unique<TranslationController>(*f.state, f.backend, 50ms);
    f.addLines(3, 3);
    spin(100ms);
    EXPECT_TRUE(f.backend->texts().empty());
    f.toggleListening();
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return f.state->transcript()->translations().size() == 3; }));
}

TEST(Translation, aLanguageChangeRetranslatesEverythingOnTheNextListeningRun) {
    TranslationFixture f;
    f.state->preferences()->setAutoPasteAtCursor(true);
    f.state->preferences()->setAutoPasteSource(AutoPasteSource::translation);
    f.toggleListening();
    for (int line : {1, 2}) {
        f.addLines(line, line);
        ASSERT_TRUE(
            waitUntil([&] { return f.state->transcript()->translations().size() == line; }));
    }
    f.state->setInterimText("Hello");
    ASSERT_TRUE(waitUntil([&] { return !f.controller->translatedInterim().isEmpty(); }));

    f.state->preferences()->setTargetLanguage("fr-FR");
    EXPECT_FALSE(f.controller->translationConfig());
    EXPECT_FALSE(f.controller->translationSessionReady());
    EXPECT_TRUE(f.controller->retranslateAll());
    EXPECT_TRUE(f.controller->translatedInterim().isEmpty());

    f.backend->forget();
    f.state->setInterimText(QString());
    f.addLines(3, 3);
    spin(250ms);
    EXPECT_TRUE(f.backend->texts().empty()) << "no session until listening starts again";

    f.toggleListening();
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return f.translationOf(1) == "fr-FR:Line 1."; }));
    f.settle();
    EXPECT_EQ(f.backend->texts().join('|'), "Line 3.|Line 2.|Line 1.");
    EXPECT_EQ(f.translationOf(2), "fr-FR:Line 2.");
    EXPECT_FALSE(f.controller->retranslateAll());
    // Replacing a translation never pastes; line 3's first one does.
    EXPECT_EQ(f.paster->pasted,
              (std::vector<QString>{"es-ES:Line 1.", "es-ES:Line 2.", "fr-FR:Line 3."}));
}

TEST(Translator, closingCancelsTheRequestInProgressAndDropsTheRest) {
    auto backend = std::make_shared<ScriptedBackend>();
    backend->hold = 5s;
    backend->cancellable = true;
    auto outcome = std::make_shared<BatchOutcome>();
    auto translator = startTranslating(backend, {"one", "two"}, outcome);
    ASSERT_TRUE(waitUntil([&] { return backend->texts().size() == 1; }));

    const auto started = Clock::now();
    translator.reset();
    EXPECT_LT(Clock::now() - started, 1s);

    // The waiting action learns that the translator is gone; nothing else ran.
    EXPECT_TRUE(waitUntil([&] { return outcome->finished; }));
    spin(50ms);
    EXPECT_TRUE(outcome->responses.empty());
    EXPECT_EQ(outcome->error, "The translator has been shut down");
    EXPECT_EQ(backend->texts().size(), 1);

    // The back end itself is still usable.
    backend->hold = 0ms;
    auto again = std::make_shared<BatchOutcome>();
    translator = startTranslating(backend, {"Good morning."}, again);
    ASSERT_TRUE(waitUntil([&] { return again->finished; }));
    EXPECT_EQ(again->responses, std::vector<QString>{"es-ES:Good morning."});

    // Without a back end every batch fails with a reason, and closing is safe.
    auto none = std::make_shared<BatchOutcome>();
    translator = startTranslating(nullptr, {"Hello."}, none);
    ASSERT_TRUE(waitUntil([&] { return none->finished; }));
    EXPECT_EQ(none->error, "No translator is installed");
    translator.reset();
}
