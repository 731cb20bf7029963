#include <OrvintaUpdates/AppVersion.h>

#include "BuildInfo.h"

namespace Orvinta::AppVersion {

QString shortVersion() {
    return QStringLiteral(ORVINTA_SHORT_VERSION);
}

std::optional<QString> buildNumber() {
    const QString build = QStringLiteral(ORVINTA_BUILD_NUMBER);
    return build.isEmpty() ? std::nullopt : std::optional(build);
}

QString displayVersion(const std::optional<QString> &shortVersion,
                       const std::optional<QString> &buildNumber) {
    const auto shown = [](const std::optional<QString> &part) {
        return part && !part->isEmpty() ? *part : QStringLiteral("—");
    };
    return shown(shortVersion) + QStringLiteral(" (") + shown(buildNumber) + QLatin1Char(')');
}

QString displayVersion() {
    return displayVersion(shortVersion(), buildNumber());
}

QUrl websiteUrl() {
    return QUrl(QStringLiteral(ORVINTA_WEBSITE));
}

QString supportEmail() {
    return QStringLiteral(ORVINTA_SUPPORT_EMAIL);
}

QUrl defaultFeedUrl() {
    return QUrl(QStringLiteral(ORVINTA_UPDATE_FEED));
}

} // namespace Orvinta::AppVersion
