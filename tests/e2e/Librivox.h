#pragma once

// The LibriVox recordings of pocketsphinx-testdata: their files, their
// reference transcripts, and playing them into the test sound server.

#include <TranscriptionCore/Scoring.h>

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdio>

namespace OrvintaTest {

inline const QString librivoxFolder = "/usr/share/pocketsphinx/test/data/librivox";

inline QString librivoxFile(const QString &id) {
    return librivoxFolder + "/sense_and_sensibility_01_austen_64kb-" + id + ".wav";
}

/// What the reader says in the recording `id`.
inline QString librivoxReference(const QString &id) {
    QFile file(librivoxFolder + "/transcription");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.contains("-" + id + ")"))
            return text.section('(', 0, 0).remove("<s>").remove("</s>").trimmed();
    }
    return {};
}

/// Plays the recordings at once, `id` on `device` of the sound server each,
/// then pauses to end the utterances.
inline void
playTogether(const QList<std::pair<QString, QString>> &recordings,
             const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    std::vector<std::unique_ptr<QProcess>> players;
    for (const auto &[device, id] : recordings) {
        players.push_back(std::make_unique<QProcess>());
        players.back()->setProcessEnvironment(environment);
        players.back()->start("paplay", {"--device=" + device, librivoxFile(id)});
    }
    for (const auto &player : players) {
        ASSERT_TRUE(player->waitForFinished(30000));
        ASSERT_EQ(player->exitCode(), 0) << player->readAllStandardError().toStdString();
    }
    QThread::msleep(600);
}

/// Plays the recordings on `device` one after another.
inline void
play(const QString &device, const QStringList &ids,
     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    for (const QString &id : ids)
        playTogether({{device, id}}, environment);
}

/// The word error rate of `texts` against what is said in the recordings `ids`.
inline double wordErrorRate(const QStringList &ids, const QStringList &texts) {
    QStringList references;
    for (const QString &id : ids)
        references << librivoxReference(id);
    const std::string reference =
        TranscriptionCore::normalizeForScoring(references.join(' ').toStdString());
    const std::string heard = TranscriptionCore::normalizeForScoring(texts.join(' ').toStdString());
    std::printf("heard: %s\n", heard.c_str());
    return static_cast<double>(TranscriptionCore::wordEditDistance(reference, heard)) /
           static_cast<double>(TranscriptionCore::wordCount(reference));
}

/// Expects `texts` to say the recordings `ids` with a word error rate of at
/// most `most`, and none of the words `unsaid`.
inline void expectHeard(const char *what, const QStringList &ids, const QStringList &texts,
                        double most, const QStringList &unsaid = {}) {
    const double wer = wordErrorRate(ids, texts);
    std::printf("word error rate (%s): %.3f\n", what, wer);
    EXPECT_LE(wer, most) << what;
    const QString heard = texts.join(' ').toLower();
    for (const QString &word : unsaid)
        EXPECT_FALSE(heard.contains(word)) << heard.toStdString();
}

} // namespace OrvintaTest
