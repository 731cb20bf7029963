#pragma once

#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalSocket;
class QSocketNotifier;

namespace Orvinta {

/// One Orvinta per user: whoever writes the user's transcript holds this
/// lock. The application holds it for its whole run and answers a second
/// start's hand-over; a saving command-line run holds it while it listens.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    /// The lock lives next to the transcript it guards (`transcriptFolder`,
    /// by default the Orvinta folder of the XDG data home), so two writers
    /// of one transcript always meet it; the hand-over socket lives in the
    /// XDG runtime folder (`runtimeFolder` replaces it).
    explicit SingleInstance(QString transcriptFolder = {}, QString runtimeFolder = {},
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    enum class Claim { taken, heldElsewhere, impossible };
    /// Takes the lock; `impossible` when the lock file cannot be made there
    /// (an unwritable folder), with the reason in claimError().
    Claim claim();
    QString claimError() const { return m_claimError; }
    /// Listens for hand-overs from later starts (the application only). A
    /// connection that has not asked for the hand-over within two seconds is
    /// closed, and only a few are held at once (a new one closes the oldest),
    /// so idle connections cannot use up the program's descriptors; a failed
    /// accept (a full descriptor table) drops that connection and leaves the
    /// listener and its socket in place.
    bool acceptHandOvers();
    /// Asks the running holder to show itself; false when nobody answered.
    bool handOver();

    QString lockPath() const;

Q_SIGNALS:
    /// A second start handed over to this one.
    void activationRequested();

private:
    QString socketPath() const;
    void acceptPending();
    void adopt(int descriptor);
    void drop(QLocalSocket *connection);
    void stopListening();

    QString m_lockFolder;
    QString m_runtimeFolder;
    QString m_claimError;
    std::unique_ptr<QLockFile> m_lock;
    int m_listener = -1;
    int m_spare = -1; // given up to refuse a connection when the table is full
    std::unique_ptr<QSocketNotifier> m_notifier;
    QList<QLocalSocket *> m_connections; // oldest first
};

} // namespace Orvinta
