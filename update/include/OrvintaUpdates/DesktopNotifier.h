#pragma once

#include <QObject>
#include <QString>

namespace Orvinta {

/// The desktop's notifications, one at a time: each new one takes the
/// place of the last. The shell picks the desktop's back end.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    struct Notification {
        QString summary;
        QString body;
        /// The label of its one action, which also answers a click on it.
        QString actionLabel;
    };

    using QObject::QObject;
    /// Asks the desktop to show `notification`; shown() or failed() follows.
    virtual void notify(const Notification &notification) = 0;

Q_SIGNALS:
    void shown();
    /// Nothing shows it (no notification server, no session bus).
    void failed(const QString &reason);
    /// The user chose the notification's action.
    void actionInvoked();
    /// It went away: expired, dismissed or closed.
    void closed();
};

} // namespace Orvinta
