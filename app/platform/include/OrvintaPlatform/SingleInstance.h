#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

namespace Orvinta {

/// One Orvinta per user: whoever writes the user's transcript holds this
/// lock. The application holds it for its whole run and answers a second
/// start's hand-over; a saving command-line run holds it while it listens.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    /// `runtimeFolder` replaces the XDG runtime folder (tests).
    explicit SingleInstance(QString runtimeFolder = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    /// Takes the lock; false when another process holds it.
    bool claim();
    /// Listens for hand-overs from later starts (the application only).
    bool acceptHandOvers();
    /// Asks the running holder to show itself; false when nobody answered.
    bool handOver();

    QString lockPath() const;

Q_SIGNALS:
    /// A second start handed over to this one.
    void activationRequested();

private:
    QString socketPath() const;

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};

} // namespace Orvinta
