#pragma once

#include <QObject>
#include <QQuickWindow>

#include <memory>

class QQmlEngine;

namespace Orvinta {

class UpdaterManager;
class WhatsNewModel;

/// The two windows of the update service: "What's New", which follows
/// WhatsNewModel (up while `visible`, to the front on raiseRequested), and
/// the result of a check ("up to date", "version X is available" with its
/// notes and the download button, or the error), which opens when a check
/// the user asked for starts, or on request, and follows the updater's state.
class UpdateWindowsController : public QObject {
    Q_OBJECT
public:
    /// Either model may be null; its window then never opens.
    UpdateWindowsController(QQmlEngine &engine, WhatsNewModel *whatsNew, UpdaterManager *updater,
                            QObject *parent = nullptr);
    ~UpdateWindowsController() override;

    QQuickWindow *whatsNewWindow() const { return m_whatsNew.get(); }
    QQuickWindow *updateWindow() const { return m_update.get(); }
    /// The update window in front, saying what the last check found (the
    /// update notice's request).
    void showUpdateWindow();

private:
    bool loadUpdateWindow();
    void followWhatsNew();
    void raiseWhatsNew();
    void followUpdater();
    static void bringToFront(QQuickWindow &window);

    QQmlEngine &m_engine;
    WhatsNewModel *m_whatsNewModel;
    UpdaterManager *m_updater;
    std::unique_ptr<QQuickWindow> m_whatsNew;
    std::unique_ptr<QQuickWindow> m_update;
};

} // namespace Orvinta
