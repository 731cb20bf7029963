#include "AppTestSupport.h"

#include <OrvintaApp/TranslationController.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

/// Answers "<target>:<text>" after `delayMs`, records every text, and once
/// `successesLeft` calls have passed fails every call.
class ScriptedBackend : public TranslationBackend {
public:
    std::string translate(const std::string &, const std::string &to,
                          const std::string &text) override {
        {
            std::lock_guard lock(m_mutex);
            m_texts.push_back(QString::fromStdString(text));
            m_firstCall = m_firstCall.value_or(Clock::now());
        }
        if (successesLeft.fetch_sub(1) <= 0)
            throw TranslationError("scripted failure");
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        return to + ":" + text;
    }
    std::vector<QString> texts() const {
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
    std::atomic<int> delayMs{0};

private:
    mutable std::mutex m_mutex;
    std::vector<QString> m_texts;
    std::optional<Clock::time_point> m_firstCall;
};

struct TranslationFixture : AppFixture {
    explicit TranslationFixture(const QString &target = "es-ES",
                                std::chrono::milliseconds interimDelay = 150ms) {
        state->preferences()->setTargetLanguage(target);
        controller = std::make_unique<TranslationController>(*state, backend, interimDelay);
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
};

std::vector<QString> lineTexts(std::initializer_list<int> numbers) {
    std::vector<QString> texts;
    for (int n : numbers)
        texts.push_back(QString("Line %1.").arg(n));
    return texts;
}

} // namespace

TEST(Translation, aPassTranslatesNewestFirstAndAnimatesOnlyASingleLine) {
    TranslationFixture f;
    f.addLines(1, 5);
    QSignalSpy passes(f.controller.get(), &TranslationController::passFinished);
    QSignalSpy delivered(f.controller.get(), &TranslationController::translationDelivered);
    spin(50ms);
    EXPECT_TRUE(f.backend->texts().empty()) << "translation begins with the first listening run";
    EXPECT_FALSE(f.controller->translationConfig());

    f.toggleListening();
    EXPECT_EQ(f.controller->translationConfig(), (TranslationConfiguration{"en-US", "es-ES"}));
    ASSERT_TRUE(waitUntil([&] { return passes.count() == 1; }));
    EXPECT_TRUE(f.controller->translationSessionReady());
    EXPECT_EQ(f.backend->texts(), lineTexts({5, 4, 3, 2, 1}));
    EXPECT_EQ(f.translationOf(1), "es-ES:Line 1.");
    EXPECT_EQ(f.translationOf(5), "es-ES:Line 5.");
    ASSERT_EQ(delivered.count(), 5);
    for (const QList<QVariant> &signal : delivered)
        EXPECT_FALSE(signal.at(1).toBool());

    // A new line starts a pass of its own at once, for that line only.
    f.backend->forget();
    f.addLines(6, 6);
    ASSERT_TRUE(waitUntil([&] { return passes.count() == 2; }));
    EXPECT_EQ(f.backend->texts(), lineTexts({6}));
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
    EXPECT_EQ(f.backend->texts(), lineTexts({6, 7}));
}

TEST(Translation, interimChangesCauseOnePassAfterTheLastChange) {
    const auto delay = 150ms;
    TranslationFixture f("es-ES", delay);
    QSignalSpy passes(f.controller.get(), &TranslationController::passFinished);
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return passes.count() == 1; }));

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
    ASSERT_EQ(f.backend->texts(), std::vector<QString>{text.trimmed()});
    EXPECT_GE(f.backend->firstCallTime() - lastChange, delay - 20ms);
    EXPECT_EQ(passes.count(), 2);

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
    QSignalSpy passes(f.controller.get(), &TranslationController::passFinished);
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return passes.count() == 1; }));

    f.state->setInterimText("Hello world");
    ASSERT_TRUE(
        waitUntil([&] { return f.controller->translatedInterim() == "es-ES:Hello world"; }));
    f.state->addConfirmedLine("Hello world.");
    EXPECT_EQ(f.translationOf(1), "es-ES:Hello world"); // at once
    EXPECT_TRUE(f.controller->translatedInterim().isEmpty());
    f.settle();
    EXPECT_EQ(f.backend->texts(), std::vector<QString>{"Hello world"}) << "not sent again";

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
    QSignalSpy passes(f.controller.get(), &TranslationController::passFinished);
    f.backend->successesLeft = 3;
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return passes.count() == 1; }));
    EXPECT_EQ(f.state->transcript()->translations().size(), 3);
    for (int line : {4, 5, 6})
        EXPECT_EQ(f.translationOf(line), QString("es-ES:Line %1.").arg(line));
    EXPECT_EQ(log.count("com.orvinta.Overlay"), 1) << log.all().toStdString();
    EXPECT_TRUE(log.contains("com.orvinta.Overlay: Translation batch failed: scripted failure"));

    f.backend->successesLeft = ScriptedBackend::never;
    f.backend->forget();
    f.addLines(7, 7);
    ASSERT_TRUE(waitUntil([&] { return passes.count() == 2; }));
    EXPECT_EQ(f.backend->texts(), lineTexts({7, 3, 2, 1}));
    EXPECT_EQ(f.state->transcript()->translations().size(), 7);
}

TEST(Translation, aNewPassCancelsTheRunningOne) {
    TranslationFixture f;
    f.backend->delayMs = 20;
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

TEST(Translation, theSameLanguageTranslatesNothing) {
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
    EXPECT_EQ(f.backend->texts(), lineTexts({3, 2, 1}));
    EXPECT_EQ(f.translationOf(2), "fr-FR:Line 2.");
    EXPECT_FALSE(f.controller->retranslateAll());
    // Replacing a translation never pastes; line 3's first one does.
    EXPECT_EQ(f.paster->pasted,
              (std::vector<QString>{"es-ES:Line 1.", "es-ES:Line 2.", "fr-FR:Line 3."}));
}

TEST(Translation, aControllerCreatedDuringARunWaitsForTheNextRun) {
    TranslationFixture f;
    f.controller.reset();
    f.toggleListening();
    f.controller = std::make_unique<TranslationController>(*f.state, f.backend, 50ms);
    f.addLines(1, 1);
    spin(100ms);
    EXPECT_TRUE(f.backend->texts().empty());

    f.toggleListening();
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return f.state->transcript()->translations().size() == 1; }));
}
