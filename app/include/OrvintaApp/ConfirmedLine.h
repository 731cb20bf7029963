#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUuid>

namespace Orvinta {

/// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC, the epoch of
/// stored timestamps.
inline constexpr double referenceDateOffset = 978307200.0;

/// One finished transcript line. Immutable once created.
struct ConfirmedLine {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id CONSTANT)
    Q_PROPERTY(QString text MEMBER text CONSTANT)
    Q_PROPERTY(QDateTime time READ time CONSTANT)
    Q_PROPERTY(QString speaker MEMBER speaker CONSTANT)

public:
    QUuid id;
    QString text;
    /// Creation time, seconds since 2001-01-01 00:00:00 UTC.
    double timestamp = 0;
    /// Who said it, where a run tells its sources apart (microphoneSpeaker,
    /// computerSpeaker, an application's name); empty otherwise.
    QString speaker = {};

    static ConfirmedLine create(QString text, double timestamp, QString speaker = {});

    QDateTime time() const;
    friend bool operator==(const ConfirmedLine &, const ConfirmedLine &) = default;
};

/// The speakers of a run on the microphone and the computer together.
inline QString microphoneSpeaker() {
    return QStringLiteral("Me");
}
inline QString computerSpeaker() {
    return QStringLiteral("Others");
}

/// "SPEAKER: text" (the speaker on one line), or the text alone without a speaker.
QString labelledText(const QString &speaker, const QString &text);
inline QString labelledText(const ConfirmedLine &line) {
    return labelledText(line.speaker, line.text);
}

/// Now, as a stored timestamp.
double currentTimestamp();
QDateTime dateTimeFromTimestamp(double timestamp);

} // namespace Orvinta

Q_DECLARE_METATYPE(Orvinta::ConfirmedLine)
