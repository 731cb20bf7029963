#include <OrvintaTranslationBackends/ApertiumTranslator.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>

using namespace Orvinta;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

std::size_t countOf(const std::string &text, const std::string &piece) {
    return std::size_t(QString::fromStdString(text).count(QString::fromStdString(piece)));
}

/// True once no process of the group led by `pid` is left (zombies included).
bool groupGone(int pid, std::chrono::milliseconds within = 3s) {
    const auto deadline = Clock::now() + within;
    while (::kill(-pid, 0) == 0) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return errno == ESRCH;
}

std::string errorOf(ApertiumTranslator &translator, const std::string &from, const std::string &to,
                    const std::string &text = "Good morning.") {
    try {
        translator.translate(from, to, text);
    } catch (const TranslationError &error) {
        return error.what();
    }
    return "(no error)";
}

/// A translator over a modes folder of its own, each pair running `modes`' pipeline.
struct ScriptedPairs {
    explicit ScriptedPairs(const std::map<std::string, std::string> &modes,
                           std::chrono::milliseconds stallTimeout = 10s) {
        for (const auto &[pair, pipeline] : modes)
            std::ofstream(folder.filePath(QString::fromStdString(pair + ".mode")).toStdString())
                << pipeline << "\n";
        ApertiumTranslator::Options options;
        options.modesDirectory = folder.path().toStdString();
        options.stallTimeout = stallTimeout;
        translator = std::make_unique<ApertiumTranslator>(options);
    }
    QTemporaryDir folder;
    std::unique_ptr<ApertiumTranslator> translator;
};

} // namespace

TEST(ApertiumTranslator, translatesDirectlyAndThroughSpanishKeepingTheTextsShape) {
    ApertiumTranslator translator;
    // A missing pair is named, and starts no pipeline.
    EXPECT_EQ(errorOf(translator, "en-US", "de-DE"),
              "No translation for English → German is installed (apertium pair eng-deu)");
    EXPECT_EQ(errorOf(translator, "ja-JP", "xx-YY"),
              "No translation for Japanese → xx-YY is installed (apertium pair jpn-xx)");
    EXPECT_TRUE(translator.runningPipelines().empty());

    EXPECT_EQ(translator.translate("en-US", "es-ES", "Good morning."), "Buenos días.");
    EXPECT_EQ(translator.translate("en-US", "fr-FR", "Good morning."), "Bonjour.");
    EXPECT_EQ(translator.route("en-US", "fr-FR"), (std::vector<std::string>{"eng-spa", "es-fr"}));
    EXPECT_EQ(translator.route("es-ES", "en-US"), std::vector<std::string>{"spa-eng_US"});
    EXPECT_EQ(translator.translate("es-ES", "en-US", "Buenos días."), "Good morning.");

    // The same language in another region needs no translator.
    EXPECT_TRUE(translator.route("en-US", "en-GB").empty());
    EXPECT_EQ(translator.translate("en-US", "en-GB", "Colour"), "Colour");

    const auto spanish = [&](const std::string &text) {
        return translator.translate("en-US", "es-ES", text);
    };
    // Reserved characters, spacing, line breaks and long texts are kept.
    const std::string tricky = "a^b ~ $5 [note] {x} <tag> a/b back\\slash *star mail@example.com";
    const std::string translated = spanish(tricky);
    for (const char *piece :
         {"^", "~", "$5", "[", "]", "{", "}", "<", ">", "/", "\\", "*", "@example.com"})
        EXPECT_EQ(countOf(translated, piece), countOf(tricky, piece))
            << piece << " in " << translated;

    // Texts that end in a reserved character must not stall the stream.
    EXPECT_EQ(spanish("dog ^"), "Perro ^");
    EXPECT_EQ(spanish("^^"), "^^");

    EXPECT_EQ(spanish("  Good morning.\n"), "  Buenos días.\n");
    EXPECT_EQ(spanish("Good morning.\nGood night."), "Buenos días.\nNoche buena.");
    EXPECT_EQ(spanish(""), "");
    EXPECT_EQ(spanish(std::string("Good\0 morning.", 14)), "Buenos días.");

    // Each answer still belongs to its own request.
    EXPECT_EQ(spanish("Good morning."), "Buenos días.");

    // A text longer than the pipe buffers.
    const std::string text = QString("The dog is in the house. ").repeated(3000).toStdString();
    ASSERT_GT(text.size(), 65536u);
    EXPECT_EQ(countOf(spanish(text), "El perro es en la casa."), 3000u);
}

// (What a destroyed translator leaves behind: cancellingOrDestroying.)
TEST(ApertiumTranslator, restartsAPipelineThatDied) {
    ApertiumTranslator translator;
    ASSERT_EQ(translator.translate("en-US", "es-ES", "Good morning."), "Buenos días.");
    ASSERT_EQ(translator.runningPipelines().size(), 1u);
    const int killed = translator.runningPipelines().front();
    ASSERT_EQ(::kill(-killed, SIGKILL), 0);

    EXPECT_EQ(translator.translate("en-US", "es-ES", "Good morning."), "Buenos días.");
    ASSERT_EQ(translator.runningPipelines().size(), 1u);
    EXPECT_NE(translator.runningPipelines().front(), killed);
    EXPECT_TRUE(groupGone(killed)) << "the killed pipeline was not reaped";
}

TEST(ApertiumTranslator, aBrokenOrSilentPipelineFailsInsteadOfHanging) {
    // The null-flush form adds -z to each program: cat refuses it and exits,
    // tail -z -f waits for ever without reading.
    ScriptedPairs pairs({{"aa-bb", "cat"},
                         {"cc-dd", "tail -f /dev/null"},
                         {"ee-ff", "cat | orvinta-no-such-program x"}},
                        300ms);
    ApertiumTranslator &translator = *pairs.translator;

    const std::string died = errorOf(translator, "aa", "bb");
    EXPECT_EQ(died.rfind("The apertium pair aa-bb stopped unexpectedly", 0), 0u) << died;
    EXPECT_TRUE(translator.runningPipelines().empty());

    const auto started = Clock::now();
    EXPECT_EQ(errorOf(translator, "cc", "dd"),
              "The apertium pair cc-dd gave no answer within 0.3 s");
    EXPECT_LT(Clock::now() - started, 2s);
    EXPECT_TRUE(translator.runningPipelines().empty());

    EXPECT_EQ(errorOf(translator, "ee", "ff"),
              "The apertium pair ee-ff needs orvinta-no-such-program, which is not installed");
    EXPECT_EQ(errorOf(translator, "cc", "ee"),
              "No translation for cc → ee is installed (apertium pair cc-ee)");
}

TEST(ApertiumTranslator, cancellingOrDestroyingEndsAStalledRequestAtOnce) {
    // tail -z -f never reads its input; sed -z -u answers each block.
    ScriptedPairs pairs({{"aa-bb", "tail -f /dev/null"}, {"cc-dd", "sed -u s/morning/night/"}});
    std::unique_ptr<ApertiumTranslator> &translator = pairs.translator;

    // A cancel with no request in progress leaves the next one alone.
    translator->cancel();
    ASSERT_EQ(translator->translate("cc", "dd", "Good morning."), "Good night.");
    const std::vector<int> working = translator->runningPipelines();
    ASSERT_EQ(working.size(), 1u);

    // Cancelling ends only the stalled request; destroying ends every pipeline.
    for (const bool destroy : {false, true}) {
        std::future<std::string> stalled =
            std::async(std::launch::async, [&] { return errorOf(*translator, "aa", "bb"); });
        const auto deadline = Clock::now() + 5s;
        while (translator->runningPipelines().size() != 2 && Clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        int stalledId = 0;
        for (const int id : translator->runningPipelines())
            if (id != working.front())
                stalledId = id;
        ASSERT_NE(stalledId, 0);
        const auto started = Clock::now();
        destroy ? translator.reset() : translator->cancel();
        ASSERT_EQ(stalled.wait_for(5s), std::future_status::ready);
        EXPECT_LT(Clock::now() - started, 1s);
        EXPECT_EQ(stalled.get(), "The translation was cancelled");
        EXPECT_TRUE(groupGone(stalledId)) << "the stalled pipeline is still running";
        if (destroy) {
            EXPECT_TRUE(groupGone(working.front())) << "a pipeline outlived its translator";
        } else {
            EXPECT_EQ(translator->runningPipelines(), working);
            EXPECT_EQ(translator->translate("cc", "dd", "Good morning."), "Good night.");
        }
    }
}

TEST(ApertiumTranslator, languageIdentifiersNeverLeadOutOfTheModesFolder) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir folder(root.path());
    ASSERT_TRUE(folder.mkpath("modes/eng-../x"));
    ASSERT_TRUE(folder.mkpath("x"));
    const std::string marker = folder.filePath("ran").toStdString();
    // sed creates the file it writes to as soon as it starts.
    for (const char *planted : {"x/evil-spa.mode", "modes/eng-../x/evil.mode"})
        std::ofstream(folder.filePath(QString::fromLatin1(planted)).toStdString())
            << "sed 'w " << marker << "'\n";

    ApertiumTranslator::Options options;
    options.modesDirectory = folder.filePath("modes").toStdString();
    ApertiumTranslator translator(options);
    for (const auto &[from, to, bad] :
         {std::tuple{"../x/evil", "es-ES", "../x/evil"}, std::tuple{"en", "../x/evil", "../x/evil"},
          std::tuple{"en-US", "", ""}, std::tuple{"en/../../x", "es", "en/../../x"},
          std::tuple{"es", "en--US", "en--US"}}) {
        EXPECT_EQ(errorOf(translator, from, to), std::string("Unknown language: ") + bad);
        EXPECT_THROW(translator.route(from, to), TranslationError); // translate's route
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(marker))) << "a planted mode ran";
    EXPECT_TRUE(translator.runningPipelines().empty());
}
