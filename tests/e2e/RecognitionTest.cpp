// The real recogniser on real speech, through the command-line front end.

#include "CliProcess.h"
#include "Librivox.h"

#include <QFileInfo>

using namespace OrvintaTest;

namespace {

TEST(Recognition, LibrivoxSetThroughTranscribeScoresWithinTheBound) {
    if (!QFileInfo::exists(librivoxFile("0870")) ||
        !QFileInfo::exists("/usr/share/pocketsphinx/model/en-us/en-us.lm.bin"))
        GTEST_SKIP() << "pocketsphinx-testdata or pocketsphinx-en-us is not installed";
    const QStringList ids{"0870", "0880", "0890", "0920", "0930"};
    QStringList heard;
    for (const QString &id : ids) {
        const CliResult result = runCli({"transcribe", librivoxFile(id)});
        ASSERT_EQ(result.exitCode, 0) << result.errors.toStdString();
        const QString hypothesis = confirmedTexts(result.lines).join(' ');
        for (const char *token : {"<sil>", "<s>", "[NOISE]", "++", "(2)"})
            EXPECT_FALSE(hypothesis.contains(QLatin1String(token))) << hypothesis.toStdString();
        ASSERT_FALSE(hypothesis.isEmpty()) << id.toStdString();
        EXPECT_TRUE(hypothesis.at(0).isUpper()) << hypothesis.toStdString();
        EXPECT_TRUE(hypothesis.endsWith('.')) << hypothesis.toStdString();
        heard << hypothesis;
    }
    expectHeard("over the set", ids, heard, 0.45);
}

} // namespace
