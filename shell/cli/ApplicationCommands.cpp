#include "ApplicationCommands.h"

#include "CliSupport.h"
#include "DesktopBackends.h"

#include <OrvintaApp/AppServices.h>
#include <OrvintaApp/ListeningController.h>
#include <OrvintaApp/PreferencesStore.h>

#include <cstdio>

namespace Orvinta::Cli {

int listApplications() {
    const std::optional<std::vector<PlaybackStream>> streams =
        DesktopBackends::audioCapture()->playbackStreams();
    if (!streams) {
        fail(QStringLiteral("Cannot connect to the sound server"));
        return 1;
    }
    for (const PlayingApplication &application : playingApplications(*streams)) {
        const QString name = QString::fromStdString(application.name);
        const QString binary = QString::fromStdString(application.binary);
        QString description = binary.isEmpty() || binary == name ? name : binary;
        if (!application.mediaName.empty())
            description += QStringLiteral(" — playing \"%1\"")
                               .arg(QString::fromStdString(application.mediaName));
        if (!print(name + QLatin1Char('\t') + description))
            break;
    }
    return outputStatus();
}

bool chooseApplicationSource(AppServices &services, const QString &application) {
    if (application.trimmed().isEmpty()) {
        fail(QStringLiteral(
            "usage: orvinta-cli listen --source app --app NAME (\"orvinta-cli apps\" lists them)"));
        return false;
    }
    services.preferences->setString(QStringLiteral("app.selectedSource"),
                                    QStringLiteral("application"));
    services.preferences->setString(QStringLiteral("app.selectedApplication"), application);
    return true;
}

void reportWaiting(ListeningController &listening) {
    QObject::connect(
        &listening, &ListeningController::waitingStatusChanged, &listening, [&listening] {
            if (listening.waitingStatus().isEmpty())
                return;
            std::fprintf(stderr, "%s\n", listening.waitingStatus().toUtf8().constData());
            std::fflush(stderr);
        });
}

} // namespace Orvinta::Cli
