// The real recogniser on real speech, through the command-line front end.

#include "CliProcess.h"
#include "Librivox.h"

#include <QFileInfo>

using namespace OrvintaTest;

namespace {

bool haveSpeechData() {
    return QFileInfo::exists(librivoxFile("0870")) &&
           QFileInfo::exists("/usr/share/pocketsphinx/model/en-us/en-us.lm.bin");
}

TEST(Recognition, LibrivoxSetThroughTranscribeScoresWithinTheBound) {
    if (!haveSpeechData())
        GTEST_SKIP() << "pocketsphinx-testdata or pocketsphinx-en-us is not installed";
    std::int64_t errors = 0;
    std::int64_t words = 0;
    for (const QString id : {"0870", "0880", "0890", "0920", "0930"}) {
        const CliResult result = runCli({"transcribe", librivoxFile(id)});
        ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
        const QString hypothesis = confirmedTexts(result.lines).join(' ');
        for (const char *token : {"<sil>", "<s>", "[NOISE]", "++", "(2)"})
            EXPECT_FALSE(hypothesis.contains(QLatin1String(token))) << hypothesis.toStdString();
        ASSERT_FALSE(hypothesis.isEmpty()) << id.toStdString();
        EXPECT_TRUE(hypothesis.at(0).isUpper()) << hypothesis.toStdString();
        EXPECT_TRUE(hypothesis.endsWith('.')) << hypothesis.toStdString();

        const std::string reference =
            TranscriptionCore::normalizeForScoring(librivoxReference(id).toStdString());
        const std::string heard = TranscriptionCore::normalizeForScoring(hypothesis.toStdString());
        errors += TranscriptionCore::wordEditDistance(reference, heard);
        words += TranscriptionCore::wordCount(reference);
        std::printf("%s: %s\n", id.toUtf8().constData(), heard.c_str());
    }
    ASSERT_GT(words, 0);
    const double wer = static_cast<double>(errors) / static_cast<double>(words);
    std::printf("word error rate over the set: %.3f\n", wer);
    EXPECT_LE(wer, 0.45);
}

} // namespace
