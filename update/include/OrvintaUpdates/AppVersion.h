#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace Orvinta::AppVersion {

/// The project version ("0.1.0"); always known.
QString shortVersion();
/// The build number of this build, or nothing when the build did not know one.
std::optional<QString> buildNumber();

/// "1.4 (27)"; a missing or empty part reads "—".
QString displayVersion(const std::optional<QString> &shortVersion,
                       const std::optional<QString> &buildNumber);
/// The running program's display version.
QString displayVersion();

/// The project's web site, its support address and the default update feed.
QUrl websiteUrl();
QString supportEmail();
QUrl defaultFeedUrl();

} // namespace Orvinta::AppVersion
