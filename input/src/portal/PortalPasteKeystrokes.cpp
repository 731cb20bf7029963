#include "PortalPasteKeystrokes.h"

#include <OrvintaInput/InputLog.h>
#include <OrvintaInput/PortalKeyboard.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace Orvinta {

namespace {

const QString remoteInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr uint keyboardDevice = 1;
/// Kept until the user revokes it.
constexpr uint persistUntilRevoked = 2;

} // namespace

PortalPasteKeystrokes::PortalPasteKeystrokes(std::shared_ptr<PortalConnection> connection,
                                             unsigned version,
                                             std::shared_ptr<PreferencesStore> preferences)
    : m_connection(std::move(connection))
    , m_version(version)
    , m_preferences(std::move(preferences)) {
    createSession();
}

PortalPasteKeystrokes::~PortalPasteKeystrokes() {
    m_connection->closeSession(m_session);
}

std::vector<std::pair<std::int32_t, bool>>
PortalPasteKeystrokes::pasteKeysyms(PasteShortcut shortcut) {
    if (shortcut == PasteShortcut::ctrlShiftV)
        return {{controlKeysym, true}, {shiftKeysym, true},  {vKeysym, true},
                {vKeysym, false},      {shiftKeysym, false}, {controlKeysym, false}};
    return {{controlKeysym, true}, {vKeysym, true}, {vKeysym, false}, {controlKeysym, false}};
}

void PortalPasteKeystrokes::finish(State state, const QString &reason) {
    m_state = state;
    m_failure = reason;
    if (state == State::started)
        qCInfo(lcPaste, "The desktop lets Orvinta send the paste keystroke (RemoteDesktop portal)");
    else
        qCWarning(lcPaste, "Paste at the cursor through the RemoteDesktop portal unavailable: %s",
                  qUtf8Printable(reason));
    Q_EMIT startFinished();
}

void PortalPasteKeystrokes::createSession() {
    const QString token = m_connection->newToken();
    QPointer<PortalPasteKeystrokes> self(this);
    m_connection->request(
        remoteInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), token}},
        [self, token](uint response, const QVariantMap &results) {
            if (!self)
                return;
            if (response != 0) {
                self->finish(State::failed,
                             QStringLiteral("the desktop refused a remote desktop session (%1)")
                                 .arg(results
                                          .value(QStringLiteral("error"),
                                                 QStringLiteral("response %1").arg(response))
                                          .toString()));
                return;
            }
            self->m_session = pathText(results.value(QStringLiteral("session_handle")));
            if (self->m_session.isEmpty())
                self->m_session = self->m_connection->sessionPath(token);
            self->m_connection->bus().connect(
                portalService, self->m_session, QStringLiteral("org.freedesktop.portal.Session"),
                QStringLiteral("Closed"), self, SLOT(handleClosed(QDBusMessage)));
            self->selectDevices();
        });
}

void PortalPasteKeystrokes::selectDevices() {
    QVariantMap options{{QStringLiteral("types"), keyboardDevice}};
    if (m_version >= 2) {
        options.insert(QStringLiteral("persist_mode"), persistUntilRevoked);
        const QString token =
            m_preferences
                ? m_preferences->stringValue(remoteDesktopTokenPreference).value_or(QString())
                : QString();
        if (!token.isEmpty())
            options.insert(QStringLiteral("restore_token"), token);
    }
    QPointer<PortalPasteKeystrokes> self(this);
    m_connection->request(
        remoteInterface, QStringLiteral("SelectDevices"),
        {QVariant::fromValue(QDBusObjectPath(m_session))}, options,
        [self](uint response, const QVariantMap &results) {
            if (!self)
                return;
            if (response != 0)
                self->finish(State::failed,
                             QStringLiteral("the desktop offers no keyboard to send keys with (%1)")
                                 .arg(results
                                          .value(QStringLiteral("error"),
                                                 QStringLiteral("response %1").arg(response))
                                          .toString()));
            else
                self->start();
        });
}

void PortalPasteKeystrokes::start() {
    QPointer<PortalPasteKeystrokes> self(this);
    m_connection->request(
        remoteInterface, QStringLiteral("Start"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {},
        [self](uint response, const QVariantMap &results) {
            if (!self)
                return;
            if (response == 1) {
                self->finish(State::refused,
                             QStringLiteral("the desktop did not allow Orvinta to send the paste "
                                            "keystroke (start Orvinta again to be asked again)"));
                return;
            }
            if (response != 0) {
                self->finish(State::failed,
                             QStringLiteral("the desktop could not start remote control (%1)")
                                 .arg(results
                                          .value(QStringLiteral("error"),
                                                 QStringLiteral("response %1").arg(response))
                                          .toString()));
                return;
            }
            if (!(results.value(QStringLiteral("devices")).toUInt() & keyboardDevice)) {
                self->finish(State::refused,
                             QStringLiteral("the desktop did not share a keyboard with Orvinta"));
                return;
            }
            // Each start hands out a new token; the old one is spent.
            const QString token = results.value(QStringLiteral("restore_token")).toString();
            if (self->m_version >= 2 && self->m_preferences && !token.isEmpty())
                self->m_preferences->setString(remoteDesktopTokenPreference, token);
            self->finish(State::started);
        });
}

void PortalPasteKeystrokes::handleClosed(const QDBusMessage &message) {
    // A refused start closes the session too; its answer says more.
    if (message.path() != m_session || m_state != State::started)
        return;
    m_session.clear();
    finish(State::ended, QStringLiteral("the desktop ended Orvinta's remote control (start "
                                        "Orvinta again to allow the paste keystroke)"));
}

QString PortalPasteKeystrokes::unavailableReason() const {
    switch (m_state) {
    case State::starting:
        return QStringLiteral("the desktop has not yet allowed Orvinta to send the paste "
                              "keystroke (answer its remote control dialog)");
    case State::started:
        return {};
    case State::refused:
    case State::ended:
    case State::failed:
        break;
    }
    return m_failure;
}

bool PortalPasteKeystrokes::waitUntilStarted(std::chrono::milliseconds timeout) {
    if (m_state == State::starting) {
        QEventLoop loop;
        QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
        connect(this, &PortalPasteKeystrokes::startFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return m_state == State::started;
}

void PortalPasteKeystrokes::sendNextKeysym() {
    m_sending = !m_keysyms.empty() && !m_session.isEmpty();
    if (!m_sending)
        return;
    const auto [keysym, pressed] = m_keysyms.front();
    m_keysyms.pop_front();
    QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, remoteInterface,
                                                       QStringLiteral("NotifyKeyboardKeysym"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << keysym
         << uint(pressed ? 1 : 0);
    // One key at a time, each after the portal took the one before: the
    // frontend hands calls on to the desktop without keeping their order.
    // Nothing waits on the GUI thread; whether the paste arrived is judged by
    // the focused window reading the clipboard.
    auto *watcher = new QDBusPendingCallWatcher(m_connection->bus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, keysym = keysym](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                if (finished->isError())
                    qCWarning(lcPaste, "The RemoteDesktop portal did not take keysym 0x%x: %s",
                              static_cast<unsigned>(keysym),
                              qUtf8Printable(finished->error().message()));
                sendNextKeysym();
            });
}

bool PortalPasteKeystrokes::sendPaste(PasteShortcut shortcut) {
    if (m_state != State::started)
        return false;
    for (const auto &key : pasteKeysyms(shortcut))
        m_keysyms.push_back(key);
    if (!m_sending)
        sendNextKeysym();
    return true;
}

} // namespace Orvinta
