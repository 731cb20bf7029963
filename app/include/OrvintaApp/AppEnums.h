#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <optional>

namespace Orvinta {

/// What auto-paste puts at the cursor.
namespace AutoPasteSourceNS {
Q_NAMESPACE
QML_NAMED_ELEMENT(AutoPasteSource)
enum class AutoPasteSource { original, translation };
Q_ENUM_NS(AutoPasteSource)
} // namespace AutoPasteSourceNS
using AutoPasteSourceNS::AutoPasteSource;

QString rawValue(AutoPasteSource source);
std::optional<AutoPasteSource> autoPasteSourceFromRaw(const QString &raw);

namespace DictationStateNS {
Q_NAMESPACE
QML_NAMED_ELEMENT(DictationState)
enum class DictationState { idle, recording, processing, done };
Q_ENUM_NS(DictationState)
} // namespace DictationStateNS
using DictationStateNS::DictationState;

/// Microphone authorisation, with the platform's numbering.
namespace MicPermissionNS {
Q_NAMESPACE
QML_NAMED_ELEMENT(MicPermission)
enum class MicPermission { notDetermined = 0, restricted = 1, denied = 2, authorized = 3 };
Q_ENUM_NS(MicPermission)
} // namespace MicPermissionNS
using MicPermissionNS::MicPermission;

namespace ExportFormatNS {
Q_NAMESPACE
QML_NAMED_ELEMENT(ExportFormat)
enum class ExportFormat { plainText, srt, webVtt };
Q_ENUM_NS(ExportFormat)
} // namespace ExportFormatNS
using ExportFormatNS::ExportFormat;

QString rawValue(ExportFormat format);
QString fileExtension(ExportFormat format);
/// The format whose file extension is `extension` ("txt", "srt", "vtt").
std::optional<ExportFormat> exportFormatFromExtension(const QString &extension);

} // namespace Orvinta
