#include <OrvintaApp/ConfirmedLine.h>

namespace Orvinta {

ConfirmedLine ConfirmedLine::create(QString text, double timestamp, QString speaker) {
    return {QUuid::createUuid(), std::move(text), timestamp, std::move(speaker)};
}

QString labelledText(const QString &speaker, const QString &text) {
    const QString name = speaker.simplified();
    return name.isEmpty() ? text : name + QStringLiteral(": ") + text;
}

QDateTime ConfirmedLine::time() const {
    return dateTimeFromTimestamp(timestamp);
}

double currentTimestamp() {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - referenceDateOffset;
}

QDateTime dateTimeFromTimestamp(double timestamp) {
    return QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>((timestamp + referenceDateOffset) * 1000.0));
}

} // namespace Orvinta
