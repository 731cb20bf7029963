#include "WaylandConnection.h"

#include <OrvintaInput/InputLog.h>

#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"

#include <wayland-client.h>

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>

namespace Orvinta {

std::shared_ptr<WaylandConnection> WaylandConnection::open(QString *error) {
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty()) {
        if (error)
            *error = QStringLiteral("no Wayland display (WAYLAND_DISPLAY is not set)");
        return nullptr;
    }
    wl_display *display = wl_display_connect(name.constData());
    if (!display) {
        if (error)
            *error =
                QStringLiteral("cannot connect to the Wayland display \"%1\": %2")
                    .arg(QString::fromLocal8Bit(name), QString::fromLocal8Bit(strerror(errno)));
        return nullptr;
    }
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection(display));
    static const wl_registry_listener listener{&WaylandConnection::global,
                                               &WaylandConnection::globalRemove};
    connection->m_registry = wl_display_get_registry(display);
    wl_registry_add_listener(connection->m_registry, &listener, connection.get());
    if (!connection->roundtrip()) {
        if (error)
            *error = QStringLiteral("the Wayland compositor did not answer (%1)")
                         .arg(connection->brokenReason());
        return nullptr;
    }
    return connection;
}

WaylandConnection::WaylandConnection(wl_display *display)
    : m_display(display) {
    m_notifier = new QSocketNotifier(wl_display_get_fd(display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WaylandConnection::readEvents);
}

WaylandConnection::~WaylandConnection() {
    if (m_virtualKeyboard)
        zwp_virtual_keyboard_manager_v1_destroy(m_virtualKeyboard);
    if (m_dataControl)
        zwlr_data_control_manager_v1_destroy(m_dataControl);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
}

void WaylandConnection::global(void *data, wl_registry *registry, uint32_t name,
                               const char *interface, uint32_t version) {
    auto *self = static_cast<WaylandConnection *>(data);
    // The first seat: the one a desktop session has.
    if (!self->m_seat && std::strcmp(interface, wl_seat_interface.name) == 0)
        self->m_seat =
            static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!self->m_virtualKeyboard &&
             std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        self->m_virtualKeyboard = static_cast<zwp_virtual_keyboard_manager_v1 *>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    else if (!self->m_dataControl &&
             std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0)
        self->m_dataControl = static_cast<zwlr_data_control_manager_v1 *>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
    (void)version;
}

void WaylandConnection::globalRemove(void *, wl_registry *, uint32_t) {}

QString WaylandConnection::brokenReason() const {
    const int error = wl_display_get_error(m_display);
    if (error == 0)
        return {};
    if (error == EPROTO) {
        const wl_interface *interface = nullptr;
        uint32_t id = 0;
        const uint32_t code = wl_display_get_protocol_error(m_display, &interface, &id);
        return QStringLiteral("the compositor ended the connection: protocol error %1 on %2")
            .arg(code)
            .arg(QString::fromLatin1(interface ? interface->name : "an unknown object"));
    }
    return QStringLiteral("the connection to the compositor was lost (%1)")
        .arg(QString::fromLocal8Bit(strerror(error)));
}

bool WaylandConnection::flush() {
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN)
        return false;
    return wl_display_get_error(m_display) == 0;
}

void WaylandConnection::readEvents() {
    // The socket is read without blocking: nothing there is no error.
    if (wl_display_prepare_read(m_display) == 0)
        wl_display_read_events(m_display);
    wl_display_dispatch_pending(m_display);
    wl_display_flush(m_display);
    if (const QString reason = brokenReason(); !reason.isEmpty()) {
        m_notifier->setEnabled(false);
        qCWarning(lcPaste, "Wayland: %s", qUtf8Printable(reason));
    }
}

bool WaylandConnection::dispatchUntil(const std::function<bool()> &done,
                                      std::chrono::milliseconds timeout, int fd,
                                      const std::function<void()> &fdReady) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        if (wl_display_dispatch_pending(m_display) < 0)
            return false;
        if (done())
            return true;
        if (!flush())
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        if (wl_display_prepare_read(m_display) != 0)
            continue;
        pollfd fds[2] = {{wl_display_get_fd(m_display), POLLIN, 0}, {fd, POLLIN, 0}};
        const int ready = ::poll(fds, fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (ready > 0 && fds[0].revents != 0)
            wl_display_read_events(m_display);
        else
            wl_display_cancel_read(m_display);
        if (wl_display_get_error(m_display) != 0 || (ready < 0 && errno != EINTR))
            return false;
        if (ready > 0 && fd >= 0 && fds[1].revents != 0 && fdReady)
            fdReady();
    }
}

bool WaylandConnection::roundtrip(std::chrono::milliseconds timeout) {
    static const wl_callback_listener listener{
        [](void *data, wl_callback *, uint32_t) { *static_cast<bool *>(data) = true; }};
    bool done = false;
    wl_callback *callback = wl_display_sync(m_display);
    wl_callback_add_listener(callback, &listener, &done);
    const bool answered = dispatchUntil([&] { return done; }, timeout);
    wl_callback_destroy(callback);
    return answered;
}

} // namespace Orvinta
