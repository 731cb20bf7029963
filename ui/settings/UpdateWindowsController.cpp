#include <OrvintaUi/UpdateWindowsController.h>

#include "WindowActivation.h"

#include <OrvintaUi/PanelWindows.h>

#include <OrvintaUpdates/UpdateLog.h>
#include <OrvintaUpdates/UpdaterManager.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QGuiApplication>
#include <QQmlEngine>
#include <QScreen>

namespace Orvinta {

namespace {

void centreOnScreen(QQuickWindow &window) {
    QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen)
        window.setPosition(screen->availableGeometry().center() -
                           QPoint(window.width() / 2, window.height() / 2));
}

} // namespace

UpdateWindowsController::UpdateWindowsController(QQmlEngine &engine, WhatsNewModel *whatsNew,
                                                 UpdaterManager *updater, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_whatsNewModel(whatsNew)
    , m_updater(updater) {
    if (m_whatsNewModel) {
        connect(m_whatsNewModel, &WhatsNewModel::visibleChanged, this,
                &UpdateWindowsController::followWhatsNew);
        connect(m_whatsNewModel, &WhatsNewModel::raiseRequested, this,
                &UpdateWindowsController::raiseWhatsNew);
        if (m_whatsNewModel->isVisible())
            followWhatsNew();
    }
    if (m_updater)
        connect(m_updater, &UpdaterManager::stateChanged, this,
                &UpdateWindowsController::followUpdater);
}

UpdateWindowsController::~UpdateWindowsController() {
    m_whatsNew.reset();
    m_update.reset();
}

void UpdateWindowsController::bringToFront(QQuickWindow &window) {
    window.show();
    activateWindow(window);
}

void UpdateWindowsController::followWhatsNew() {
    if (!m_whatsNewModel->isVisible()) {
        if (m_whatsNew)
            m_whatsNew->hide();
        return;
    }
    if (!m_whatsNew) {
        QString error;
        m_whatsNew = createUiWindow(
            m_engine, QStringLiteral("settings/WhatsNewWindow.qml"),
            {{QStringLiteral("model"), QVariant::fromValue<QObject *>(m_whatsNewModel)}}, &error);
        if (!m_whatsNew) {
            qCWarning(lcUpdater, "The \"What's New\" window cannot be loaded: %s",
                      qUtf8Printable(error));
            return;
        }
        // Floating: it stays above ordinary windows until dismissed.
        m_whatsNew->setFlag(Qt::WindowStaysOnTopHint, true);
        centreOnScreen(*m_whatsNew);
    }
    bringToFront(*m_whatsNew);
}

void UpdateWindowsController::raiseWhatsNew() {
    if (m_whatsNew && m_whatsNew->isVisible())
        bringToFront(*m_whatsNew);
}

bool UpdateWindowsController::loadUpdateWindow() {
    if (m_update)
        return true;
    QString error;
    m_update = createUiWindow(
        m_engine, QStringLiteral("settings/UpdateCheckWindow.qml"),
        {{QStringLiteral("updater"), QVariant::fromValue<QObject *>(m_updater)}}, &error);
    if (!m_update) {
        qCWarning(lcUpdater, "The update window cannot be loaded: %s", qUtf8Printable(error));
        return false;
    }
    centreOnScreen(*m_update);
    return true;
}

void UpdateWindowsController::showUpdateWindow() {
    if (m_updater && loadUpdateWindow())
        bringToFront(*m_update);
}

void UpdateWindowsController::followUpdater() {
    // Background checks answer through the update notice; a check the user
    // asked for answers in the window.
    if (!m_updater->isUserInitiated() || m_updater->state() == UpdaterManager::State::idle)
        return;
    if (!loadUpdateWindow())
        return;
    if (!m_update->isVisible() || m_updater->state() == UpdaterManager::State::checking)
        bringToFront(*m_update);
}

} // namespace Orvinta
