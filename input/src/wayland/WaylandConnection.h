#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct zwp_virtual_keyboard_manager_v1;
struct zwlr_data_control_manager_v1;

class QSocketNotifier;

namespace Orvinta {

/// A connection of our own to the Wayland compositor (never Qt's, which
/// exists only on Qt's wayland platform), with the globals the keyboard back
/// ends use, read by the main thread's event loop.
class WaylandConnection : public QObject {
    Q_OBJECT
public:
    /// Nothing when WAYLAND_DISPLAY is unset or cannot be reached; `error` says why.
    static std::shared_ptr<WaylandConnection> open(QString *error);
    ~WaylandConnection() override;

    wl_display *display() const { return m_display; }
    wl_seat *seat() const { return m_seat; }
    zwp_virtual_keyboard_manager_v1 *virtualKeyboardManager() const { return m_virtualKeyboard; }
    zwlr_data_control_manager_v1 *dataControlManager() const { return m_dataControl; }

    /// Empty while the connection works; else what ended it.
    QString brokenReason() const;

    /// Sends the requests made so far; false once the connection is broken.
    bool flush();
    /// Runs the compositor's events until `done` holds: false when the
    /// connection broke or `timeout` passed first. `fd`, when given, is
    /// watched too, and `fdReady` runs whenever it can be read.
    bool dispatchUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout,
                       int fd = -1, const std::function<void()> &fdReady = {});
    /// Waits until the compositor has handled every request sent so far.
    bool roundtrip(std::chrono::milliseconds timeout = std::chrono::seconds(2));

private:
    explicit WaylandConnection(wl_display *display);
    void readEvents();

    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                       uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t name);

    wl_display *m_display;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    zwp_virtual_keyboard_manager_v1 *m_virtualKeyboard = nullptr;
    zwlr_data_control_manager_v1 *m_dataControl = nullptr;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Orvinta
