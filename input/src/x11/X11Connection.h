#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// Xlib's names only: its macros (None, Bool, Status, ...) clash with Qt's headers.
typedef struct _XDisplay Display;
typedef union _XEvent XEvent;

class QSocketNotifier;

namespace Orvinta {

/// A connection of our own to the X server (never Qt's, so that it also
/// works when Qt runs on another platform plugin), read by the main
/// thread's event loop. X errors never end the process: requests that may
/// fail run through checked(), which reports the first error code.
class X11Connection : public QObject {
    Q_OBJECT
public:
    /// Nothing when no X display can be opened; `error` says why.
    static std::shared_ptr<X11Connection> open(QString *error);
    ~X11Connection() override;

    Display *display() const { return m_display; }
    unsigned long root() const;

    /// Runs `requests` and waits for the server: 0, or the first X error code.
    int checked(const std::function<void()> &requests);

    /// Receives every event of this connection; removed with removeHandlers(owner).
    void addHandler(const void *owner, std::function<void(XEvent &)> handler);
    void removeHandlers(const void *owner);

    /// Reads and dispatches what the server has sent.
    void processEvents();

private:
    explicit X11Connection(Display *display);

    Display *m_display;
    QSocketNotifier *m_notifier = nullptr;
    std::vector<std::pair<const void *, std::function<void(XEvent &)>>> m_handlers;
};

/// Why a back end cannot work without `connection`: `reason` (why the
/// display could not be opened) or "no X11 display"; empty with a connection.
QString unavailableWithout(const std::shared_ptr<X11Connection> &connection, QString reason);

} // namespace Orvinta
