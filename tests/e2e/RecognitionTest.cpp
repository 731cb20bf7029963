// The real recogniser on real speech, through the command-line front end.

#include "CliProcess.h"

#include <TranscriptionCore/Scoring.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using namespace OrvintaTest;

namespace OrvintaTest {

QString librivoxReference(const QString &id) {
    QFile file(librivoxFolder + QStringLiteral("/transcription"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.contains(QStringLiteral("-") + id + QStringLiteral(")")))
            return text.section('(', 0, 0)
                .remove(QStringLiteral("<s>"))
                .remove(QStringLiteral("</s>"))
                .trimmed();
    }
    return {};
}

} // namespace OrvintaTest

namespace {

bool haveSpeechData() {
    return QFileInfo::exists(librivoxFile(QStringLiteral("0870"))) &&
           QFileInfo::exists(QStringLiteral("/usr/share/pocketsphinx/model/en-us/en-us.lm.bin"));
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

TEST(Recognition, BadInputEndsWithOneClearLineAndAnError) {
    if (!haveSpeechData())
        GTEST_SKIP() << "pocketsphinx-testdata or pocketsphinx-en-us is not installed";
    QTemporaryDir folder;
    QFile corrupt(folder.filePath("corrupt.wav"));
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("RIFF\x10\x00\x00\x00WAVEjunk that is not audio");
    corrupt.close();

    const auto expectClearFailure = [](const CliResult &result, const char *mention) {
        EXPECT_FALSE(result.crashed);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_TRUE(result.lines.isEmpty());
        const QStringList errorLines = result.errors.split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(errorLines.size(), 1) << result.errors.toStdString();
        EXPECT_TRUE(errorLines.first().startsWith(QStringLiteral("orvinta-cli: ")));
        EXPECT_TRUE(errorLines.first().contains(QLatin1String(mention)))
            << errorLines.first().toStdString();
    };

    const QString speech = librivoxFile(QStringLiteral("0880"));
    expectClearFailure(runCli({"transcribe", corrupt.fileName()}), "corrupt.wav");
    expectClearFailure(runCli({"transcribe", folder.filePath("missing.flac")}), "missing.flac");
    expectClearFailure(runCli({"transcribe", "--locale", "de-DE", speech}), "de-DE");

    QProcessEnvironment withoutServer = QProcessEnvironment::systemEnvironment();
    withoutServer.insert("PULSE_SERVER", "unix:" + folder.filePath("none"));
    for (const QStringList &arguments :
         {QStringList{"devices"}, QStringList{"listen", "--no-save"},
          QStringList{"listen", "--no-save", "--source", "microphone"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        expectClearFailure(runCli(arguments, 20000, withoutServer), "sound server");
    }

    QProcessEnvironment withoutModel = QProcessEnvironment::systemEnvironment();
    withoutModel.insert("ORVINTA_POCKETSPHINX_MODEL_DIR", folder.path());
    expectClearFailure(runCli({"transcribe", speech}, 60000, withoutModel), "pocketsphinx-en-us");
}

} // namespace
