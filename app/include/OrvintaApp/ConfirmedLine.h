#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

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

public:
    QUuid id;
    QString text;
    /// Creation time, seconds since 2001-01-01 00:00:00 UTC.
    double timestamp = 0;

    static ConfirmedLine create(QString text, double timestamp);

    QDateTime time() const;
    friend bool operator==(const ConfirmedLine &, const ConfirmedLine &) = default;
};

/// Now, as a stored timestamp.
double currentTimestamp();
QDateTime dateTimeFromTimestamp(double timestamp);

/// What auto-paste puts at the cursor.
namespace AutoPasteSourceNS {
Q_NAMESPACE
enum class AutoPasteSource { original, translation };
Q_ENUM_NS(AutoPasteSource)
} // namespace AutoPasteSourceNS
using AutoPasteSourceNS::AutoPasteSource;

QString rawValue(AutoPasteSource source);
std::optional<AutoPasteSource> autoPasteSourceFromRaw(const QString &raw);

namespace DictationStateNS {
Q_NAMESPACE
enum class DictationState { idle, recording, processing, done };
Q_ENUM_NS(DictationState)
} // namespace DictationStateNS
using DictationStateNS::DictationState;

/// Microphone authorisation, with the platform's numbering.
namespace MicPermissionNS {
Q_NAMESPACE
enum class MicPermission { notDetermined = 0, restricted = 1, denied = 2, authorized = 3 };
Q_ENUM_NS(MicPermission)
} // namespace MicPermissionNS
using MicPermissionNS::MicPermission;

} // namespace Orvinta

Q_DECLARE_METATYPE(Orvinta::ConfirmedLine)
