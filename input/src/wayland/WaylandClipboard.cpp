#include "WaylandClipboard.h"

#include <OrvintaInput/InputLog.h>

#include "wlr-data-control-unstable-v1-client.h"

#include <wayland-client.h>

#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace Orvinta {

namespace {

/// The names under which programs, XWayland's included, ask for plain text.
const QStringList textTypes{QStringLiteral("text/plain;charset=utf-8"),
                            QStringLiteral("text/plain"), QStringLiteral("UTF8_STRING"),
                            QStringLiteral("STRING"), QStringLiteral("TEXT")};

/// X selection protocol targets, answered by an owner but never content.
bool isProtocolTarget(const QString &type) {
    static const QStringList targets{"TARGETS",      "MULTIPLE", "TIMESTAMP",
                                     "SAVE_TARGETS", "DELETE",   "INCR"};
    return targets.contains(type);
}

/// write() that turns the SIGPIPE of a reader that went away into EPIPE on
/// this thread instead of ending the program.
ssize_t writeWithoutSignal(int fd, const char *data, size_t size) {
    sigset_t pipeSignal;
    sigset_t previous;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = ::write(fd, data, size);
    if (written < 0 && errno == EPIPE) {
        const timespec none{};
        sigtimedwait(&pipeSignal, nullptr, &none);
        errno = EPIPE;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return written;
}

/// Hands content to a reading window without ever blocking the main thread.
class PipeWriter {
public:
    PipeWriter(int fd, QByteArray data)
        : m_fd(fd)
        , m_data(std::move(data)) {
        fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK);
    }
    ~PipeWriter() { close(); }
    PipeWriter(const PipeWriter &) = delete;
    PipeWriter &operator=(const PipeWriter &) = delete;

    int fd() const { return m_fd; }
    /// Writes what the pipe takes now; true once all is written or the reader is gone.
    bool step() {
        while (m_written < m_data.size()) {
            const ssize_t n = writeWithoutSignal(m_fd, m_data.constData() + m_written,
                                                 static_cast<size_t>(m_data.size() - m_written));
            if (n > 0)
                m_written += n;
            else if (n < 0 && errno == EAGAIN)
                return false;
            else if (n == 0 || errno != EINTR)
                break;
        }
        close();
        return true;
    }
    void close() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
    QByteArray m_data;
    qsizetype m_written = 0;
};

} // namespace

WaylandClipboard::WaylandClipboard(std::shared_ptr<WaylandConnection> connection,
                                   QString unavailableReason)
    : m_connection(std::move(connection))
    , m_unavailable(std::move(unavailableReason)) {
    if (!m_unavailable.isEmpty())
        return;
    if (!m_connection) {
        m_unavailable = QStringLiteral("no Wayland display");
        return;
    }
    if (!m_connection->seat() || !m_connection->dataControlManager()) {
        m_unavailable = QStringLiteral("the compositor offers no clipboard access for programs "
                                       "without the focus (zwlr_data_control_manager_v1)");
        return;
    }
    static const zwlr_data_control_offer_v1_listener offerListener{
        [](void *data, zwlr_data_control_offer_v1 *offer, const char *type) {
            static_cast<WaylandClipboard *>(data)->m_offers[offer].append(QString::fromUtf8(type));
        }};
    static const zwlr_data_control_device_v1_listener deviceListener{
        [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
            auto *self = static_cast<WaylandClipboard *>(data);
            self->m_offers[offer];
            zwlr_data_control_offer_v1_add_listener(offer, &offerListener, self);
        },
        [](void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
            static_cast<WaylandClipboard *>(data)->selected(offer);
        },
        [](void *data, zwlr_data_control_device_v1 *) {
            static_cast<WaylandClipboard *>(data)->finished();
        },
        // Sent only from version 2, which is not bound: the primary selection stays alone.
        [](void *, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer) {
            if (offer)
                zwlr_data_control_offer_v1_destroy(offer);
        }};
    m_device = zwlr_data_control_manager_v1_get_data_device(m_connection->dataControlManager(),
                                                            m_connection->seat());
    zwlr_data_control_device_v1_add_listener(m_device, &deviceListener, this);
    // The current selection comes at once.
    if (!m_connection->roundtrip())
        m_unavailable = QStringLiteral("the compositor refused clipboard access: %1")
                            .arg(m_connection->brokenReason());
}

WaylandClipboard::~WaylandClipboard() {
    if (m_source)
        zwlr_data_control_source_v1_destroy(m_source->source);
    for (const auto &[offer, types] : m_offers)
        zwlr_data_control_offer_v1_destroy(offer);
    if (m_device)
        zwlr_data_control_device_v1_destroy(m_device);
    if (m_connection)
        m_connection->flush();
}

QString WaylandClipboard::unavailableReason() const {
    if (!m_unavailable.isEmpty())
        return m_unavailable;
    if (QString reason = m_connection->brokenReason(); !reason.isEmpty())
        return reason;
    return m_device ? QString() : QStringLiteral("the compositor withdrew clipboard access");
}

void WaylandClipboard::selected(zwlr_data_control_offer_v1 *offer) {
    if (m_selection && m_selection != offer) {
        m_offers.erase(m_selection);
        zwlr_data_control_offer_v1_destroy(m_selection);
    }
    m_selection = offer;
}

void WaylandClipboard::finished() {
    zwlr_data_control_device_v1_destroy(m_device);
    m_device = nullptr;
    qCWarning(lcPaste, "Wayland: the compositor withdrew clipboard access");
}

std::unique_ptr<QMimeData> WaylandClipboard::save() {
    // Every event the compositor sent so far, the latest selection among them.
    if (!unavailableReason().isEmpty() || !m_connection->roundtrip())
        return nullptr;
    auto copy = std::make_unique<QMimeData>();
    if (m_source) {
        for (const QString &type : m_source->content->formats())
            copy->setData(type, m_source->content->data(type));
        return copy;
    }
    zwlr_data_control_offer_v1 *const offer = m_selection;
    if (!offer)
        return nullptr;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + readTimeout;
    const QStringList types = m_offers[offer];
    for (const QString &type : types) {
        if (isProtocolTarget(type))
            continue;
        int fds[2];
        // A selection that changed while it was read is no longer what the user had.
        if (m_selection != offer || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
            return nullptr;
        zwlr_data_control_offer_v1_receive(offer, type.toUtf8().constData(), fds[1]);
        ::close(fds[1]);
        QByteArray bytes;
        bool ended = false;
        const auto readAvailable = [&] {
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
                if (n > 0)
                    bytes.append(buffer, n);
                else if (n < 0 && errno == EINTR)
                    continue;
                else {
                    ended = n == 0 || errno != EAGAIN;
                    return;
                }
            }
        };
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const bool answered =
            m_connection->dispatchUntil([&] { return ended; }, left, fds[0], readAvailable);
        ::close(fds[0]);
        if (!answered) {
            qCWarning(lcPaste, "Wayland: the clipboard's owner did not hand over %s in time",
                      qUtf8Printable(type));
            return nullptr;
        }
        copy->setData(type, bytes);
    }
    return copy;
}

bool WaylandClipboard::setText(const QString &text, std::function<void()> fetched) {
    if (!unavailableReason().isEmpty())
        return false;
    auto content = std::make_shared<QMimeData>();
    const QByteArray utf8 = text.toUtf8();
    for (const QString &type : textTypes)
        content->setData(type, utf8);
    setSelection(std::move(content), std::move(fetched));
    m_replacedSincePaste = false;
    return m_connection->flush();
}

void WaylandClipboard::restore(std::unique_ptr<QMimeData> saved) {
    if (!unavailableReason().isEmpty())
        return;
    // A copy the user made a moment ago arrives with the compositor's latest events.
    m_connection->roundtrip();
    if (m_replacedSincePaste) {
        m_replacedSincePaste = false;
        qCInfo(lcPaste, "Wayland: the clipboard was set again after the paste; that stays");
        return;
    }
    setSelection(std::shared_ptr<const QMimeData>(saved.release()), {});
}

void WaylandClipboard::setSelection(std::shared_ptr<const QMimeData> content,
                                    std::function<void()> fetched) {
    static const zwlr_data_control_source_v1_listener sourceListener{
        [](void *data, zwlr_data_control_source_v1 *source, const char *type, int32_t fd) {
            static_cast<WaylandClipboard *>(data)->send(source, type, fd);
        },
        [](void *data, zwlr_data_control_source_v1 *source) {
            static_cast<WaylandClipboard *>(data)->cancelled(source);
        }};
    zwlr_data_control_source_v1 *source = nullptr;
    if (content && !content->formats().isEmpty()) {
        source =
            zwlr_data_control_manager_v1_create_data_source(m_connection->dataControlManager());
        zwlr_data_control_source_v1_add_listener(source, &sourceListener, this);
        for (const QString &type : content->formats())
            zwlr_data_control_source_v1_offer(source, type.toUtf8().constData());
    }
    zwlr_data_control_device_v1_set_selection(m_device, source);
    if (m_source)
        zwlr_data_control_source_v1_destroy(m_source->source);
    m_source.reset(source ? new Source{source, std::move(content), std::move(fetched)} : nullptr);
    m_connection->flush();
}

void WaylandClipboard::send(zwlr_data_control_source_v1 *source, const char *type, int fd) {
    if (!m_source || m_source->source != source) {
        ::close(fd);
        return;
    }
    if (m_source->fetched)
        QTimer::singleShot(0, m_connection.get(), m_source->fetched);
    auto writer =
        std::make_shared<PipeWriter>(fd, m_source->content->data(QString::fromUtf8(type)));
    if (writer->step())
        return;
    // The rest as the window reads it; one that stops reading is let go.
    auto *notifier = new QSocketNotifier(writer->fd(), QSocketNotifier::Write, m_connection.get());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [writer, notifier] {
        if (writer->step()) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    });
    QTimer::singleShot(writeTimeout, notifier, [writer, notifier] {
        notifier->setEnabled(false);
        writer->close();
        notifier->deleteLater();
    });
}

void WaylandClipboard::cancelled(zwlr_data_control_source_v1 *source) {
    if (!m_source || m_source->source != source)
        return;
    m_replacedSincePaste = static_cast<bool>(m_source->fetched);
    zwlr_data_control_source_v1_destroy(source);
    m_source.reset();
}

} // namespace Orvinta
