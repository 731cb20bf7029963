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

/// Plays the recordings on `device` of the sound server, each followed by a
/// pause that ends its utterance.
inline void
play(const QString &device, const QStringList &ids,
     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment()) {
    for (const QString &id : ids) {
        QProcess player;
        player.setProcessEnvironment(environment);
        player.start("paplay", {"--device=" + device, librivoxFile(id)});
        ASSERT_TRUE(player.waitForFinished(30000));
        ASSERT_EQ(player.exitCode(), 0) << player.readAllStandardError().toStdString();
        QThread::msleep(600);
    }
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

} // namespace OrvintaTest
