#pragma once

#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QLocalSocket;
class QSocketNotifier;

namespace Orvinta {

/// One Orvinta per user: whoever writes the user's transcript holds this
/// lock. The application holds it for its whole run and answers a second
/// start's hand-over; a saving command-line run holds it while it listens.
/// The same socket takes orvinta-cli's commands (hold press, toggle
/// recording, ...): one line each, answered with one line. Only the user's
/// own processes reach it: it lives in the user's runtime folder, is the
/// owner's only, and a peer of another user is refused.
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

    /// Answers each command line other than the hand-over: an empty reply
    /// for done, else why not. Without a handler such lines are dropped.
    using CommandHandler = std::function<QString(const QByteArray &command)>;
    void setCommandHandler(CommandHandler handler) { m_commandHandler = std::move(handler); }
    /// The socket's file name in the runtime folder; "orvinta.socket" unless set.
    void setSocketName(const QString &name) { m_socketName = name; }

    /// Sends one command line (without its newline) to whoever listens on
    /// `socketPath`; the reply as the handler gave it ("" for done), or
    /// nothing when nobody listens or answers within `timeout`.
    static std::optional<QString> sendCommand(const QString &socketPath, const QByteArray &command,
                                              std::chrono::milliseconds timeout);

    QString lockPath() const;
    QString socketPath() const;

Q_SIGNALS:
    /// A second start handed over to this one.
    void activationRequested();

private:
    void acceptPending();
    void adopt(int descriptor);
    void drop(QLocalSocket *connection);
    /// Writes `reply` and closes the connection once it is out.
    void answer(QLocalSocket *connection, const QByteArray &reply);
    void stopListening();

    QString m_lockFolder;
    QString m_runtimeFolder;
    QString m_socketName = QStringLiteral("orvinta.socket");
    QString m_claimError;
    CommandHandler m_commandHandler;
    std::unique_ptr<QLockFile> m_lock;
    int m_listener = -1;
    int m_spare = -1; // given up to refuse a connection when the table is full
    std::unique_ptr<QSocketNotifier> m_notifier;
    QList<QLocalSocket *> m_connections; // oldest first
};

} // namespace Orvinta
