#include <OrvintaApp/ConfirmedLine.h>

namespace Orvinta {

ConfirmedLine ConfirmedLine::create(QString text, double timestamp) {
    return {QUuid::createUuid(), std::move(text), timestamp};
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
