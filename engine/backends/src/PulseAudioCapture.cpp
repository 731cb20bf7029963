#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace Orvinta {

namespace {

const std::string errorDomain = "PulseAudio";
constexpr auto serverTimeout = std::chrono::milliseconds(5000);

/// Holds the main loop's lock; holds nothing where there is no loop (it
/// could not be made), and then ensureConnected() reports why.
class MainloopLock {
public:
    explicit MainloopLock(pa_threaded_mainloop *loop)
        : m_loop(loop) {
        if (m_loop)
            pa_threaded_mainloop_lock(m_loop);
    }
    ~MainloopLock() {
        if (m_loop)
            pa_threaded_mainloop_unlock(m_loop);
    }
    MainloopLock(const MainloopLock &) = delete;
    MainloopLock &operator=(const MainloopLock &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

struct SourceInfo {
    std::uint32_t index = PA_INVALID_INDEX;
    std::string name;
    std::string description;
    std::uint32_t rate = 0;
    std::uint8_t channels = 0;
    bool isMonitor = false;
};

SourceInfo sourceInfoFrom(const pa_source_info *info) {
    return SourceInfo{info->index,
                      info->name ? info->name : "",
                      info->description ? info->description : (info->name ? info->name : ""),
                      info->sample_spec.rate,
                      info->sample_spec.channels,
                      info->monitor_of_sink != PA_INVALID_INDEX};
}

std::string property(const pa_proplist *properties, const char *key) {
    const char *value = properties ? pa_proplist_gets(properties, key) : nullptr;
    return value ? value : "";
}

/// Nothing for streams that cannot be recorded alone (on no device) and for
/// Orvinta's own (its tones).
std::optional<PlaybackStream> playbackStreamFrom(const pa_sink_input_info *info) {
    if (info->sink == PA_INVALID_INDEX)
        return std::nullopt;
    PlaybackStream stream{info->index,
                          property(info->proplist, PA_PROP_APPLICATION_NAME),
                          property(info->proplist, PA_PROP_APPLICATION_PROCESS_BINARY),
                          property(info->proplist, PA_PROP_APPLICATION_ICON_NAME),
                          property(info->proplist, PA_PROP_MEDIA_NAME),
                          info->corked != 0};
    if (stream.mediaName.empty() && info->name)
        stream.mediaName = info->name;
    if (stream.applicationName == "Orvinta" ||
        property(info->proplist, PA_PROP_APPLICATION_PROCESS_ID) == std::to_string(::getpid()))
        return std::nullopt;
    return stream;
}

} // namespace

/// One threaded main loop and context. Reconnects on demand after the server
/// went away. Every wait is bounded, so a hung server cannot hang the caller.
class PulseConnection {
public:
    PulseConnection(const char *threadName, std::string server)
        : m_threadName(threadName)
        , m_server(std::move(server)) {
        startLoop();
    }

    ~PulseConnection() {
        pa_threaded_mainloop *loop = m_loop.load();
        if (!loop)
            return;
        {
            MainloopLock lock(loop);
            dropContext();
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }

    PulseConnection(const PulseConnection &) = delete;
    PulseConnection &operator=(const PulseConnection &) = delete;

    /// The main loop, made and started on first need: making it takes file
    /// descriptors and a thread, which may be short for a while (a low
    /// `ulimit -n`), so a failure is retried on the next call. Null while
    /// it cannot be made.
    pa_threaded_mainloop *startLoop() {
        const std::lock_guard<std::mutex> guard(m_loopMutex);
        if (pa_threaded_mainloop *loop = m_loop.load())
            return loop;
        pa_threaded_mainloop *loop = pa_threaded_mainloop_new();
        if (!loop)
            return nullptr;
        pa_threaded_mainloop_set_name(loop, m_threadName);
        if (pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_free(loop);
            return nullptr;
        }
        m_loop = loop;
        return loop;
    }

    pa_threaded_mainloop *loop() const { return m_loop.load(); }
    pa_context *context() const { return m_context; }

    /// Lock held. Throws EngineError; code PA_ERR_ACCESS when the server refused us.
    void ensureConnected() {
        if (!m_loop)
            throw EngineError(errorDomain, PA_ERR_INTERNAL,
                              "Cannot start the sound server client: the process has run out "
                              "of file descriptors or threads");
        if (m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY)
            return;
        dropContext();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Orvinta");
        if (!m_context)
            throw EngineError(errorDomain, PA_ERR_INTERNAL, "Cannot create a sound server context");
        m_onReady = nullptr;
        pa_context_set_state_callback(m_context, &PulseConnection::onStateChange, this);
        if (pa_context_connect(m_context, m_server.empty() ? nullptr : m_server.c_str(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            throw connectionError();
        waitUntil([this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        if (pa_context_get_state(m_context) != PA_CONTEXT_READY)
            throw connectionError();
    }

    /// Lock held. Starts connecting and returns at once; `ready`, or else the
    /// lost handler, hears how it went on the connection's thread. False when
    /// it could not even begin.
    bool connectInBackground(std::function<void()> ready) {
        m_onReady = std::move(ready);
        if (!m_loop)
            return false;
        dropContext();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Orvinta");
        if (!m_context)
            return false;
        pa_context_set_state_callback(m_context, &PulseConnection::onStateChange, this);
        return pa_context_connect(m_context, m_server.empty() ? nullptr : m_server.c_str(),
                                  PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    }

    /// Lock held. Ends the connection without a word to its handlers.
    void disconnect() {
        m_onReady = nullptr;
        m_onLost = nullptr;
        dropContext();
    }

    /// Lock held. Called on the connection's thread once a connected context
    /// failed (the server went away), or a connection under way did.
    void setLostHandler(std::function<void()> handler) { m_onLost = std::move(handler); }

    bool isConnected() const {
        return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
    }

    /// Lock held. Waits until `done` holds, the context fails or the time is up.
    template <typename Predicate> bool waitUntil(Predicate done) {
        struct Expiry {
            pa_threaded_mainloop *loop;
            bool expired = false;
        } expiry{m_loop};
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(m_loop);
        pa_time_event *timer = pa_context_rttime_new(
            m_context,
            pa_rtclock_now() +
                static_cast<pa_usec_t>(std::chrono::microseconds(serverTimeout).count()),
            [](pa_mainloop_api *, pa_time_event *, const timeval *, void *data) {
                auto *e = static_cast<Expiry *>(data);
                e->expired = true;
                pa_threaded_mainloop_signal(e->loop, 0);
            },
            &expiry);
        while (!done() && !expiry.expired && m_context &&
               PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context)))
            pa_threaded_mainloop_wait(m_loop);
        if (timer)
            api->time_free(timer);
        return done();
    }

    /// Lock held. Waits for an operation to finish and releases it.
    bool complete(pa_operation *operation) {
        if (!operation)
            return false;
        const bool done = waitUntil(
            [operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (!done)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
        return done;
    }

    /// Lock held. The default source for none.
    std::optional<SourceInfo> source(const std::optional<std::uint32_t> &index) {
        return index ? sourceQuery(index, {}) : sourceQuery(std::nullopt, "@DEFAULT_SOURCE@");
    }
    /// Lock held.
    std::optional<SourceInfo> source(const std::string &name) {
        return sourceQuery(std::nullopt, name);
    }

    int lastError() const {
        return m_context ? pa_context_errno(m_context) : PA_ERR_CONNECTIONREFUSED;
    }

    EngineError connectionError() const {
        const int code = lastError();
        return EngineError(errorDomain, code,
                           std::string("Cannot connect to the sound server: ") + pa_strerror(code));
    }

private:
    static void onStateChange(pa_context *context, void *data) {
        auto *self = static_cast<PulseConnection *>(data);
        pa_threaded_mainloop_signal(self->m_loop.load(), 0);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY && self->m_onReady)
            self->m_onReady();
        if (!PA_CONTEXT_IS_GOOD(state) && self->m_onLost)
            self->m_onLost();
    }

    std::optional<SourceInfo> sourceQuery(const std::optional<std::uint32_t> &index,
                                          const std::string &name) {
        struct Query {
            pa_threaded_mainloop *loop;
            std::optional<SourceInfo> info;
        } query{m_loop, std::nullopt};
        const auto callback = [](pa_context *, const pa_source_info *info, int eol, void *data) {
            auto *q = static_cast<Query *>(data);
            if (eol == 0 && info)
                q->info = sourceInfoFrom(info);
            if (eol != 0)
                pa_threaded_mainloop_signal(q->loop, 0);
        };
        pa_operation *operation =
            index ? pa_context_get_source_info_by_index(m_context, *index, callback, &query)
                  : pa_context_get_source_info_by_name(m_context, name.c_str(), callback, &query);
        if (!complete(operation))
            return std::nullopt;
        return query.info;
    }

    void dropContext() {
        if (!m_context)
            return;
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }

    const char *m_threadName;
    std::string m_server;
    std::mutex m_loopMutex; // guards the making of the loop
    std::atomic<pa_threaded_mainloop *> m_loop{nullptr};
    pa_context *m_context = nullptr;
    std::function<void()> m_onLost;
    std::function<void()> m_onReady;
};

namespace {

/// The queries one owner has under way on the connection's thread, cancelled
/// with it so that no answer reaches an owner that is gone. Lock held.
class PendingOperations {
public:
    PendingOperations() = default;
    ~PendingOperations() { cancelAll(); }
    PendingOperations(const PendingOperations &) = delete;
    PendingOperations &operator=(const PendingOperations &) = delete;

    void add(pa_operation *operation) {
        std::erase_if(m_operations, [](pa_operation *held) {
            if (pa_operation_get_state(held) == PA_OPERATION_RUNNING)
                return false;
            pa_operation_unref(held);
            return true;
        });
        if (operation)
            m_operations.push_back(operation);
    }
    void cancelAll() {
        for (pa_operation *operation : m_operations) {
            pa_operation_cancel(operation);
            pa_operation_unref(operation);
        }
        m_operations.clear();
    }

private:
    std::vector<pa_operation *> m_operations;
};

/// Lock held. Calls `event` (on the connection's thread) for every change of
/// the facilities in `mask`; false when the server would not subscribe.
bool subscribe(PulseConnection &connection, pa_subscription_mask_t mask,
               pa_context_subscribe_cb_t event, void *data) {
    pa_context_set_subscribe_callback(connection.context(), event, data);
    return connection.complete(pa_context_subscribe(
        connection.context(), mask,
        [](pa_context *, int, void *loop) {
            pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
        },
        connection.loop()));
}

/// What a record stream records besides its device, and how it connects.
struct RecordTarget {
    /// Only this playback stream (on its device's monitor), not all the device plays.
    std::optional<std::uint32_t> monitorStream;
    /// Returns at once; a failure on the way to READY then reaches `onFailure` too.
    bool connectInBackground = false;
};

/// A record stream; its read and failure callbacks run on the connection's thread.
class RecordStream {
public:
    using Reader = std::function<void(const void *data, std::size_t bytes)>;

    /// Lock held. Throws EngineError with the server's error code.
    RecordStream(PulseConnection &connection, const char *name, const pa_sample_spec &spec,
                 const char *device, std::uint32_t fragmentBytes, Reader reader,
                 CaptureFailureHandler onFailure, RecordTarget target = {})
        : m_connection(connection)
        , m_reader(std::move(reader))
        , m_onFailure(std::move(onFailure)) {
        m_stream = pa_stream_new(connection.context(), name, &spec, nullptr);
        if (!m_stream)
            throw error("Cannot create a recording stream");
        pa_stream_set_state_callback(m_stream, &RecordStream::onStateChange, this);
        pa_stream_set_read_callback(m_stream, &RecordStream::onRead, this);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize = fragmentBytes;
        auto flags = PA_STREAM_ADJUST_LATENCY;
        if (target.monitorStream) {
            // Without a device the server records from the monitor of the
            // device the stream plays to. Not moved elsewhere when that stream
            // goes: the application's next stream is the follower's to choose.
            flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
            if (pa_stream_set_monitor_stream(m_stream, *target.monitorStream) < 0) {
                release();
                throw error("Cannot record the application");
            }
        }
        if (pa_stream_connect_record(m_stream, device, &attributes, flags) < 0) {
            release();
            throw error("Cannot record");
        }
        if (target.connectInBackground) {
            m_running = true;
            return;
        }
        connection.waitUntil([this] {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            EngineError failure = error("Cannot record");
            release();
            throw failure;
        }
        m_running = true;
    }

    /// Lock held.
    ~RecordStream() { release(); }

    /// Lock held. Whether it ever reached READY.
    bool wasReady() const { return m_wasReady; }
    /// Lock held. The server's index of the recording.
    std::uint32_t index() const {
        return m_stream ? pa_stream_get_index(m_stream) : PA_INVALID_INDEX;
    }
    /// Lock held. Calls `moved` on the connection's thread when the server
    /// moves the recording to another device.
    void setMovedHandler(std::function<void()> moved) {
        m_moved = std::move(moved);
        pa_stream_set_moved_callback(
            m_stream,
            [](pa_stream *, void *data) {
                auto *self = static_cast<RecordStream *>(data);
                if (self->m_moved)
                    self->m_moved();
            },
            this);
    }
    /// Lock held. The device it records from now.
    std::string deviceName() const {
        const char *name = m_stream ? pa_stream_get_device_name(m_stream) : nullptr;
        return name ? name : "";
    }

    RecordStream(const RecordStream &) = delete;
    RecordStream &operator=(const RecordStream &) = delete;

    /// Lock held. False when the server reported a failure on the way out.
    bool disconnect() {
        m_running = false;
        if (!m_stream)
            return true;
        const bool alive = PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream));
        const bool ok = !alive || pa_stream_disconnect(m_stream) == 0;
        release();
        return ok;
    }

private:
    // When the server goes away the context fails first and then fails its
    // streams, so a failed stream can tell which of the two happened.
    static void onStateChange(pa_stream *stream, void *data) {
        auto *self = static_cast<RecordStream *>(data);
        pa_threaded_mainloop_signal(self->m_connection.loop(), 0);
        if (pa_stream_get_state(stream) == PA_STREAM_READY)
            self->m_wasReady = true;
        if (pa_stream_get_state(stream) != PA_STREAM_FAILED || !self->m_running.exchange(false))
            return;
        pa_context *context = self->m_connection.context();
        const bool serverGone = !context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
        if (self->m_onFailure)
            self->m_onFailure(serverGone ? CaptureFailureKind::serverStopped
                                         : CaptureFailureKind::streamFailed,
                              pa_strerror(self->m_connection.lastError()));
    }

    static void onRead(pa_stream *stream, std::size_t, void *data) {
        auto *self = static_cast<RecordStream *>(data);
        const void *bytes = nullptr;
        std::size_t length = 0;
        while (pa_stream_readable_size(stream) > 0) {
            if (pa_stream_peek(stream, &bytes, &length) < 0 || length == 0)
                return;
            if (bytes && self->m_reader) // a null pointer with a length is a hole
                self->m_reader(bytes, length);
            if (pa_stream_drop(stream) < 0)
                return;
        }
    }

    void release() {
        m_running = false;
        if (!m_stream)
            return;
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_moved_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream)))
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }

    EngineError error(const std::string &what) const {
        const int code = m_connection.lastError();
        return EngineError(errorDomain, code, what + ": " + pa_strerror(code));
    }

    PulseConnection &m_connection;
    Reader m_reader;
    CaptureFailureHandler m_onFailure;
    std::atomic<bool> m_running{false}; // between READY and our own disconnect
    bool m_wasReady = false;
    std::function<void()> m_moved;
    pa_stream *m_stream = nullptr;
};

/// Records the chosen source by its name, which survives a restart of the
/// server (its index does not). While the chosen source is gone it records
/// the default one, and goes back once the chosen one is there again.
class PulseMicrophoneCapture : public MicrophoneCapture {
public:
    explicit PulseMicrophoneCapture(std::shared_ptr<PulseConnection> connection)
        : m_connection(std::move(connection)) {}

    ~PulseMicrophoneCapture() override { stop(); }

    bool selectDevice(std::uint32_t deviceID) override {
        MainloopLock lock(m_connection->startLoop());
        try {
            m_connection->ensureConnected();
        } catch (const EngineError &) {
            return false;
        }
        const std::optional<SourceInfo> source = m_connection->source(deviceID);
        if (!source)
            return false;
        m_chosen = source;
        m_replacement.reset();
        return true;
    }

    AudioFormat inputFormat() override {
        MainloopLock lock(m_connection->startLoop());
        m_connection->ensureConnected();
        const auto info =
            m_chosen ? m_connection->source(m_chosen->name) : m_connection->source(std::nullopt);
        if (!info || info->rate == 0 || info->channels == 0)
            throw EngineError(errorDomain, m_connection->lastError(),
                              m_chosen ? "The chosen audio input device is not available"
                                       : "No audio input device is available");
        return AudioFormat{static_cast<double>(info->rate), info->channels, SampleType::float32,
                           true};
    }

    void installTap(std::uint32_t bufferFrames, const AudioFormat &format,
                    CapturedBufferHandler handler, CaptureFailureHandler onFailure) override {
        MainloopLock lock(m_connection->startLoop());
        m_bufferFrames = bufferFrames;
        m_format = format;
        m_handler = std::move(handler);
        m_onFailure = std::move(onFailure);
    }

    void setDeviceHandler(MicrophoneDeviceHandler handler) override {
        MainloopLock lock(m_connection->startLoop());
        m_onDevice = std::move(handler);
    }

    void removeTap() override {
        MainloopLock lock(m_connection->startLoop());
        m_handler = nullptr;
        m_onFailure = nullptr;
        m_onDevice = nullptr;
    }

    void start() override {
        MainloopLock lock(m_connection->startLoop());
        m_connection->ensureConnected();
        release();
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(m_format.sampleRate),
                            static_cast<std::uint8_t>(m_format.channels)};
        if (!pa_sample_spec_valid(&spec))
            throw EngineError(errorDomain, PA_ERR_INVALID,
                              "The input device's format is not usable");
        // The server converts whatever the device delivers to the chosen
        // device's format, so a replacement changes nothing downstream.
        std::optional<SourceInfo> device;
        if (m_chosen) {
            device = m_connection->source(m_chosen->name);
            if (!device)
                device = m_connection->source(std::nullopt);
            if (!device)
                throw EngineError(errorDomain, m_connection->lastError(),
                                  "The chosen audio input device is not available");
        }
        const std::size_t frameBytes = m_format.bytesPerPlaneFrame();
        m_stream = std::make_unique<RecordStream>(
            *m_connection, "Orvinta microphone", spec, device ? device->name.c_str() : nullptr,
            static_cast<std::uint32_t>(m_bufferFrames * frameBytes),
            [this, frameBytes](const void *data, std::size_t bytes) {
                if (!m_handler)
                    return;
                const auto frames = static_cast<std::uint32_t>(bytes / frameBytes);
                AudioBuffer buffer(m_format, frames);
                std::memcpy(buffer.planeBytes(0), data, frames * frameBytes);
                buffer.setFrameLength(frames);
                m_handler(buffer);
            },
            [this](CaptureFailureKind kind, std::string reason) {
                if (m_onFailure)
                    m_onFailure(kind, std::move(reason));
            });
        if (!m_chosen)
            return;
        // PulseAudio moves a recording whose device goes to the default one;
        // where it goes is looked up, and the chosen one is watched for.
        m_stream->setMovedHandler([this] { lookUpDevice(m_stream->deviceName()); });
        subscribe(*m_connection, PA_SUBSCRIPTION_MASK_SOURCE,
                  &PulseMicrophoneCapture::onSourceEvent, this);
        recordsFrom(*device);
    }

    void stop() override {
        MainloopLock lock(m_connection->startLoop());
        release();
    }

private:
    // Lock held, on the connection's thread but from start().
    void recordsFrom(const SourceInfo &device) {
        if (!m_chosen)
            return;
        std::optional<SourceInfo> replacement;
        if (device.name != m_chosen->name)
            replacement = device;
        const bool wasReplaced = m_replacement.has_value();
        if (replacement.has_value() == wasReplaced &&
            (!replacement || replacement->name == m_replacement->name))
            return;
        m_replacement = replacement;
        if (m_onDevice)
            m_onDevice(m_chosen->description, replacement ? replacement->description : "");
    }

    void lookUpDevice(const std::string &name) {
        m_pending.add(pa_context_get_source_info_by_name(
            m_connection->context(), name.c_str(),
            [](pa_context *, const pa_source_info *info, int eol, void *data) {
                if (eol == 0 && info)
                    static_cast<PulseMicrophoneCapture *>(data)->recordsFrom(sourceInfoFrom(info));
            },
            this));
    }

    static void onSourceEvent(pa_context *context, pa_subscription_event_type_t type,
                              std::uint32_t index, void *data) {
        auto *self = static_cast<PulseMicrophoneCapture *>(data);
        if ((type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_NEW ||
            !self->m_replacement || !self->m_stream)
            return;
        // A new source: the chosen one back? Then the recording moves to it.
        self->m_pending.add(pa_context_get_source_info_by_index(
            context, index,
            [](pa_context *c, const pa_source_info *info, int eol, void *me) {
                auto *capture = static_cast<PulseMicrophoneCapture *>(me);
                if (eol != 0 || !info || !capture->m_stream || !capture->m_chosen ||
                    capture->m_chosen->name != (info->name ? info->name : ""))
                    return;
                capture->m_pending.add(pa_context_move_source_output_by_index(
                    c, capture->m_stream->index(), info->index,
                    [](pa_context *, int success, void *moved) {
                        auto *owner = static_cast<PulseMicrophoneCapture *>(moved);
                        if (success && owner->m_chosen)
                            owner->recordsFrom(*owner->m_chosen);
                    },
                    capture));
            },
            self));
    }

    void release() {
        m_pending.cancelAll();
        if (pa_context *context = m_connection->context())
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
        if (m_stream)
            m_stream->disconnect();
        m_stream.reset();
    }

    std::shared_ptr<PulseConnection> m_connection;
    std::optional<SourceInfo> m_chosen;
    /// What records while the chosen source is gone.
    std::optional<SourceInfo> m_replacement;
    std::uint32_t m_bufferFrames = 4096;
    AudioFormat m_format;
    CapturedBufferHandler m_handler;
    CaptureFailureHandler m_onFailure;
    MicrophoneDeviceHandler m_onDevice;
    std::unique_ptr<RecordStream> m_stream;
    PendingOperations m_pending;
};

class PulseSystemAudioCapture : public SystemAudioCapture {
public:
    explicit PulseSystemAudioCapture(std::string server)
        : m_connection(
              std::make_unique<PulseConnection>("com.orvinta.speech-audio", std::move(server))) {}

    ~PulseSystemAudioCapture() override {
        try {
            stop();
        } catch (const EngineError &) {
        }
    }

    void start(std::uint32_t sampleRate, CapturedSampleHandler handler,
               CaptureFailureHandler onFailure) override {
        MainloopLock lock(m_connection->startLoop());
        try {
            m_connection->ensureConnected();
        } catch (const EngineError &error) {
            if (error.code() == PA_ERR_ACCESS)
                throw CaptureError::permissionDenied();
            throw CaptureError::engineSetupFailed(error.description());
        }
        const std::optional<std::string> monitor = defaultSinkMonitor();
        if (!monitor)
            throw CaptureError::noDisplay();

        m_handler = std::move(handler);
        m_onFailure = std::move(onFailure);
        const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, sampleRate, 1};
        if (!pa_sample_spec_valid(&spec))
            throw CaptureError::engineSetupFailed("Unusable sample rate " +
                                                  std::to_string(sampleRate));
        try {
            // 50 ms fragments: quick enough for live captions, few wake-ups
            m_stream = std::make_unique<RecordStream>(
                *m_connection, "Orvinta system audio", spec, monitor->c_str(),
                static_cast<std::uint32_t>(sampleRate / 20 * sizeof(float)),
                [this](const void *data, std::size_t bytes) {
                    if (m_handler)
                        m_handler(static_cast<const std::byte *>(data), bytes);
                },
                [this](CaptureFailureKind kind, std::string reason) {
                    if (m_onFailure)
                        m_onFailure(kind, std::move(reason));
                });
        } catch (const EngineError &error) {
            if (error.code() == PA_ERR_ACCESS)
                throw CaptureError::permissionDenied();
            throw;
        }
        // A new default output (headphones plugged in) takes the recording
        // along; without the subscription it merely stays where it is.
        m_monitor = *monitor;
        subscribe(*m_connection, PA_SUBSCRIPTION_MASK_SERVER,
                  &PulseSystemAudioCapture::onServerEvent, this);
    }

    void stop() override {
        MainloopLock lock(m_connection->startLoop());
        m_handler = nullptr;
        m_onFailure = nullptr;
        m_pending.cancelAll();
        if (pa_context *context = m_connection->context())
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
        if (!m_stream)
            return;
        const bool ok = m_stream->disconnect();
        m_stream.reset();
        if (!ok) {
            const int code = m_connection->lastError();
            throw EngineError(errorDomain, code,
                              std::string("Cannot stop recording: ") + pa_strerror(code));
        }
    }

private:
    // Lock held.
    std::optional<std::string> defaultSinkMonitor() {
        struct Query {
            pa_threaded_mainloop *loop;
            std::string value;
            bool found = false;
        } server{m_connection->loop(), {}}, sink{m_connection->loop(), {}};
        if (!m_connection->complete(pa_context_get_server_info(
                m_connection->context(),
                [](pa_context *, const pa_server_info *info, void *data) {
                    auto *q = static_cast<Query *>(data);
                    if (info && info->default_sink_name && *info->default_sink_name) {
                        q->value = info->default_sink_name;
                        q->found = true;
                    }
                    pa_threaded_mainloop_signal(q->loop, 0);
                },
                &server)) ||
            !server.found)
            return std::nullopt;
        if (!m_connection->complete(pa_context_get_sink_info_by_name(
                m_connection->context(), server.value.c_str(),
                [](pa_context *, const pa_sink_info *info, int eol, void *data) {
                    auto *q = static_cast<Query *>(data);
                    if (eol == 0 && info && info->monitor_source_name) {
                        q->value = info->monitor_source_name;
                        q->found = true;
                    }
                    if (eol != 0)
                        pa_threaded_mainloop_signal(q->loop, 0);
                },
                &sink)) ||
            !sink.found)
            return std::nullopt;
        return sink.value;
    }

    // On the connection's thread: server info, then its default sink, then
    // a move of the recording to that sink's monitor.
    static void onServerEvent(pa_context *context, pa_subscription_event_type_t, std::uint32_t,
                              void *data) {
        auto *self = static_cast<PulseSystemAudioCapture *>(data);
        self->m_pending.add(pa_context_get_server_info(
            context,
            [](pa_context *c, const pa_server_info *info, void *me) {
                if (!info || !info->default_sink_name)
                    return;
                auto *capture = static_cast<PulseSystemAudioCapture *>(me);
                capture->m_pending.add(pa_context_get_sink_info_by_name(
                    c, info->default_sink_name, &PulseSystemAudioCapture::onDefaultSink, me));
            },
            self));
    }

    static void onDefaultSink(pa_context *context, const pa_sink_info *info, int eol, void *data) {
        auto *self = static_cast<PulseSystemAudioCapture *>(data);
        if (eol != 0 || !info || !info->monitor_source_name || !self->m_stream ||
            self->m_monitor == info->monitor_source_name)
            return;
        self->m_monitor = info->monitor_source_name;
        self->m_pending.add(pa_context_move_source_output_by_name(
            context, self->m_stream->index(), info->monitor_source_name, nullptr, nullptr));
    }

    std::unique_ptr<PulseConnection> m_connection;
    CapturedSampleHandler m_handler;
    CaptureFailureHandler m_onFailure;
    std::unique_ptr<RecordStream> m_stream;
    std::string m_monitor;
    PendingOperations m_pending;
};

/// The playback streams of one connection, kept current through its
/// subscription. Every call with the lock held; `changed` runs on the
/// connection's thread.
class PlaybackMonitor {
public:
    using Changed = std::function<void(const std::vector<PlaybackStream> &streams)>;

    PlaybackMonitor(PulseConnection &connection, Changed changed)
        : m_connection(connection)
        , m_changed(std::move(changed)) {}
    ~PlaybackMonitor() { stop(); }

    PlaybackMonitor(const PlaybackMonitor &) = delete;
    PlaybackMonitor &operator=(const PlaybackMonitor &) = delete;

    /// Subscribes and waits until `changed` had the first list. Throws EngineError.
    void start() {
        pa_context *context = m_connection.context();
        pa_context_set_subscribe_callback(context, &PlaybackMonitor::onEvent, this);
        const bool subscribed = m_connection.complete(pa_context_subscribe(
            context, PA_SUBSCRIPTION_MASK_SINK_INPUT,
            [](pa_context *, int, void *loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
            },
            m_connection.loop()));
        if (subscribed)
            requery();
        if (!subscribed || !m_connection.waitUntil([this] { return m_listed; })) {
            const int code = m_connection.lastError();
            throw EngineError(errorDomain, code,
                              std::string("Cannot list the applications playing sound: ") +
                                  pa_strerror(code));
        }
    }

    void stop() {
        if (pa_context *context = m_connection.context())
            pa_context_set_subscribe_callback(context, nullptr, nullptr);
        if (m_query) {
            pa_operation_cancel(m_query);
            pa_operation_unref(m_query);
            m_query = nullptr;
        }
        m_changed = nullptr;
    }

    /// Reads the list again; a read under way is followed by another.
    void requery() {
        if (m_query) {
            m_queryAgain = true;
            return;
        }
        m_queryAgain = false;
        m_incoming.clear();
        // Null once the context failed, which the connection's lost handler reports.
        m_query = pa_context_get_sink_input_info_list(m_connection.context(),
                                                      &PlaybackMonitor::onInfo, this);
    }

private:
    static void onEvent(pa_context *, pa_subscription_event_type_t type, std::uint32_t,
                        void *data) {
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SINK_INPUT)
            static_cast<PlaybackMonitor *>(data)->requery();
    }

    static void onInfo(pa_context *, const pa_sink_input_info *info, int eol, void *data) {
        auto *self = static_cast<PlaybackMonitor *>(data);
        if (eol == 0) {
            if (info)
                if (auto stream = playbackStreamFrom(info))
                    self->m_incoming.push_back(std::move(*stream));
            return;
        }
        pa_operation_unref(self->m_query);
        self->m_query = nullptr;
        if (eol > 0)
            self->deliver();
        if (self->m_queryAgain)
            self->requery();
    }

    // Oldest first. PipeWire's indexes are object ids, which it hands out
    // again after a stream ended, so the order is the order first seen here
    // (by index among those seen together), not the index alone.
    void deliver() {
        std::map<std::uint32_t, std::uint64_t> seen;
        std::sort(
            m_incoming.begin(), m_incoming.end(),
            [](const PlaybackStream &a, const PlaybackStream &b) { return a.index < b.index; });
        for (const PlaybackStream &stream : m_incoming) {
            const auto known = m_firstSeen.find(stream.index);
            seen[stream.index] = known != m_firstSeen.end() ? known->second : m_nextSeen++;
        }
        m_firstSeen = std::move(seen);
        std::stable_sort(m_incoming.begin(), m_incoming.end(),
                         [this](const PlaybackStream &a, const PlaybackStream &b) {
                             return m_firstSeen[a.index] < m_firstSeen[b.index];
                         });
        m_listed = true;
        pa_threaded_mainloop_signal(m_connection.loop(), 0);
        if (m_changed)
            m_changed(m_incoming);
    }

    PulseConnection &m_connection;
    Changed m_changed;
    pa_operation *m_query = nullptr;
    bool m_queryAgain = false;
    bool m_listed = false;
    std::vector<PlaybackStream> m_incoming;
    std::map<std::uint32_t, std::uint64_t> m_firstSeen;
    std::uint64_t m_nextSeen = 0;
};

/// Follows one application on a connection of its own: the monitor's list
/// decides which of its streams is recorded, and each change of it may close
/// the recording, open one on another stream, or leave things as they are.
class PulseApplicationAudioCapture : public ApplicationAudioCapture {
public:
    explicit PulseApplicationAudioCapture(std::string server)
        : m_connection(
              std::make_unique<PulseConnection>("com.orvinta.app-audio", std::move(server))) {}

    ~PulseApplicationAudioCapture() override {
        try {
            stop();
        } catch (const EngineError &) {
        }
    }

    void start(std::uint32_t sampleRate, std::string application, CapturedSampleHandler handler,
               CaptureFailureHandler onFailure, ApplicationWaitingHandler onWaiting) override {
        MainloopLock lock(m_connection->startLoop());
        try {
            m_connection->ensureConnected();
        } catch (const EngineError &error) {
            if (error.code() == PA_ERR_ACCESS)
                throw CaptureError::permissionDenied();
            throw CaptureError::engineSetupFailed(error.description());
        }
        m_spec = pa_sample_spec{PA_SAMPLE_FLOAT32LE, sampleRate, 1};
        if (!pa_sample_spec_valid(&m_spec))
            throw CaptureError::engineSetupFailed("Unusable sample rate " +
                                                  std::to_string(sampleRate));
        m_application = std::move(application);
        m_handler = std::move(handler);
        m_onFailure = std::move(onFailure);
        m_onWaiting = std::move(onWaiting);
        m_failed = false;
        m_waiting.reset();
        m_connection->setLostHandler([this] {
            fail(CaptureFailureKind::serverStopped, pa_strerror(m_connection->lastError()));
        });
        // PulseAudio renders a stream ahead by the latency its device runs at,
        // up to two seconds when no client asks for less, and a recording
        // that joins later misses what was rendered before. A recording of
        // the default device's monitor, unread, keeps it rendering in small
        // steps (as capturing system audio does), so that a new stream's first
        // words come after the follower joined. PipeWire renders one quantum
        // at a time and needs none; where it cannot be had, nothing is lost
        // but those first words.
        try {
            m_latencyAnchor = std::make_unique<RecordStream>(
                *m_connection, "Orvinta application audio (latency)", m_spec, "@DEFAULT_MONITOR@",
                fragmentBytes(), nullptr, nullptr, RecordTarget{std::nullopt, true});
        } catch (const EngineError &) {
        }
        m_monitor = std::make_unique<PlaybackMonitor>(
            *m_connection, [this](const std::vector<PlaybackStream> &streams) { follow(streams); });
        try {
            m_monitor->start();
        } catch (const EngineError &error) {
            release();
            throw CaptureError::engineSetupFailed(error.description());
        }
    }

    void stop() override {
        MainloopLock lock(m_connection->startLoop());
        if (!release()) {
            const int code = m_connection->lastError();
            throw EngineError(errorDomain, code,
                              std::string("Cannot stop recording: ") + pa_strerror(code));
        }
    }

private:
    // Lock held, on the connection's thread but for the first list.
    void follow(const std::vector<PlaybackStream> &streams) {
        if (m_failed)
            return;
        const std::optional<std::uint32_t> current =
            m_stream && !m_streamEnded ? m_following : std::nullopt;
        const std::optional<std::uint32_t> target = streamToFollow(streams, m_application, current);
        if (target && target == current)
            return;
        closeStream(/*endUtterance=*/true);
        m_following = target;
        if (target)
            openStream(*target);
        if (!m_failed)
            tellWaiting(!target);
    }

    void openStream(std::uint32_t index) {
        m_streamEnded = false;
        m_delivered = false;
        // The recogniser takes what it hears first for the background noise:
        // a stream that starts with speech at once would be heard as noise
        // for a while. Silence comes first, as on a device's monitor.
        feedSilence();
        try {
            m_stream = std::make_unique<RecordStream>(
                *m_connection, "Orvinta application audio", m_spec, nullptr, fragmentBytes(),
                [this](const void *data, std::size_t bytes) {
                    m_delivered = true;
                    if (m_handler)
                        m_handler(static_cast<const std::byte *>(data), bytes);
                },
                [this](CaptureFailureKind kind, std::string reason) {
                    streamFailed(kind, std::move(reason));
                },
                RecordTarget{index, /*connectInBackground=*/true});
        } catch (const EngineError &error) {
            fail(CaptureFailureKind::streamFailed, error.description());
        }
    }

    // From the stream's state callback: the stream stays until follow() drops it.
    void streamFailed(CaptureFailureKind kind, std::string reason) {
        const bool ended =
            m_stream && (m_stream->wasReady() || m_connection->lastError() == PA_ERR_NOENTITY);
        if (kind == CaptureFailureKind::serverStopped || !ended) {
            fail(kind, std::move(reason));
            return;
        }
        // PulseAudio ends the recording when the stream it monitors ends or
        // moves to another device (PipeWire keeps it, silent): the list says
        // which, and where to go on.
        m_streamEnded = true;
        if (m_monitor)
            m_monitor->requery();
    }

    /// False when the server reported a failure on the way out.
    bool closeStream(bool endUtterance) {
        if (!m_stream)
            return true;
        const bool ok = m_stream->disconnect();
        m_stream.reset();
        // A stream cut off mid-sentence leaves the recogniser inside its
        // utterance; silence ends it, so its words are confirmed now rather
        // than when the application plays again.
        if (endUtterance && m_delivered)
            feedSilence();
        return ok;
    }

    // 50 ms fragments, as for system audio
    std::uint32_t fragmentBytes() const {
        return static_cast<std::uint32_t>(m_spec.rate / 20 * sizeof(float));
    }

    void feedSilence() {
        if (!m_handler)
            return;
        const std::vector<float> silence(m_spec.rate / 2, 0.0f);
        m_handler(reinterpret_cast<const std::byte *>(silence.data()),
                  silence.size() * sizeof(float));
    }

    bool release() {
        m_connection->setLostHandler(nullptr);
        m_monitor.reset();
        m_handler = nullptr;
        m_onFailure = nullptr;
        m_onWaiting = nullptr;
        const bool ok = closeStream(/*endUtterance=*/false);
        m_following.reset();
        if (m_latencyAnchor)
            m_latencyAnchor->disconnect();
        m_latencyAnchor.reset();
        return ok;
    }

    void tellWaiting(bool waiting) {
        if (m_waiting == waiting)
            return;
        m_waiting = waiting;
        if (m_onWaiting)
            m_onWaiting(waiting);
    }

    void fail(CaptureFailureKind kind, std::string reason) {
        if (m_failed)
            return;
        m_failed = true;
        if (m_onFailure)
            m_onFailure(kind, std::move(reason));
    }

    std::unique_ptr<PulseConnection> m_connection;
    pa_sample_spec m_spec{};
    std::string m_application;
    CapturedSampleHandler m_handler;
    CaptureFailureHandler m_onFailure;
    ApplicationWaitingHandler m_onWaiting;
    std::unique_ptr<PlaybackMonitor> m_monitor;
    std::unique_ptr<RecordStream> m_stream;
    std::unique_ptr<RecordStream> m_latencyAnchor;
    std::optional<std::uint32_t> m_following;
    bool m_streamEnded = false;
    bool m_delivered = false;
    bool m_failed = false;
    std::optional<bool> m_waiting;
};

class PulsePlaybackWatch : public PlaybackWatch {
public:
    /// Throws EngineError.
    PulsePlaybackWatch(std::string server, PlaybackStreamsHandler changed)
        : m_connection(
              std::make_unique<PulseConnection>("com.orvinta.playback-watch", std::move(server)))
        , m_changed(std::move(changed)) {
        MainloopLock lock(m_connection->startLoop());
        m_connection->ensureConnected();
        m_connection->setLostHandler([this] {
            if (m_changed)
                m_changed({});
        });
        m_monitor = std::make_unique<PlaybackMonitor>(
            *m_connection, [this](const std::vector<PlaybackStream> &streams) {
                if (m_changed)
                    m_changed(streams);
            });
        try {
            m_monitor->start();
        } catch (const EngineError &) {
            release();
            throw;
        }
    }

    ~PulsePlaybackWatch() override {
        MainloopLock lock(m_connection->startLoop());
        release();
    }

private:
    void release() {
        m_connection->setLostHandler(nullptr);
        m_monitor.reset();
        m_changed = nullptr;
    }

    std::unique_ptr<PulseConnection> m_connection;
    PlaybackStreamsHandler m_changed;
    std::unique_ptr<PlaybackMonitor> m_monitor;
};

/// Tells of every change of sources, sinks and defaults on a connection of
/// its own, and keeps trying to connect, once a second, while the server is
/// away. Everything but the constructor and destructor runs on the
/// connection's thread.
class PulseDeviceWatch : public DeviceWatch {
public:
    PulseDeviceWatch(std::string server, std::function<void()> changed)
        : m_connection(
              std::make_unique<PulseConnection>("com.orvinta.device-watch", std::move(server)))
        , m_changed(std::move(changed)) {
        MainloopLock lock(m_connection->startLoop());
        m_connection->setLostHandler([this] { lost(); });
        connect();
    }

    ~PulseDeviceWatch() override {
        MainloopLock lock(m_connection->startLoop());
        m_changed = nullptr;
        m_pending.cancelAll();
        m_connection->disconnect();
        if (m_retry)
            pa_threaded_mainloop_get_api(m_connection->loop())->time_free(m_retry);
    }

private:
    void connect() {
        const bool begun = m_connection->connectInBackground([this] {
            m_pending.add(
                pa_context_subscribe(m_connection->context(),
                                     // An output's monitor comes and goes with it.
                                     static_cast<pa_subscription_mask_t>(
                                         PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER),
                                     nullptr, nullptr));
            pa_context_set_subscribe_callback(
                m_connection->context(),
                [](pa_context *, pa_subscription_event_type_t, std::uint32_t, void *data) {
                    static_cast<PulseDeviceWatch *>(data)->tell();
                },
                this);
            if (std::exchange(m_wasLost, false))
                tell();
        });
        if (!begun)
            retryLater();
    }

    void lost() {
        if (!m_wasLost && m_changed)
            m_changed();
        m_wasLost = true;
        retryLater();
    }

    void retryLater() {
        pa_threaded_mainloop *loop = m_connection->loop();
        if (m_retry || !loop)
            return;
        timeval when{};
        pa_gettimeofday(&when);
        pa_timeval_add(&when, 1000 * PA_USEC_PER_MSEC);
        pa_mainloop_api *api = pa_threaded_mainloop_get_api(loop);
        m_retry = api->time_new(
            api, &when,
            [](pa_mainloop_api *a, pa_time_event *event, const timeval *, void *data) {
                auto *self = static_cast<PulseDeviceWatch *>(data);
                a->time_free(event);
                self->m_retry = nullptr;
                self->connect();
            },
            this);
    }

    void tell() {
        if (m_changed)
            m_changed();
    }

    std::unique_ptr<PulseConnection> m_connection;
    std::function<void()> m_changed;
    PendingOperations m_pending;
    pa_time_event *m_retry = nullptr;
    bool m_wasLost = false;
};

} // namespace

PulseAudioCapture::PulseAudioCapture(std::string server)
    : m_server(std::move(server))
    , m_connection(std::make_shared<PulseConnection>("orvinta-pulse", m_server)) {}

PulseAudioCapture::~PulseAudioCapture() = default;

MicrophoneAccess PulseAudioCapture::requestMicrophoneAccess() {
    MainloopLock lock(m_connection->startLoop());
    try {
        m_connection->ensureConnected();
    } catch (const EngineError &error) {
        if (error.code() == PA_ERR_ACCESS)
            return MicrophoneAccess::denied;
        throw;
    }
    return MicrophoneAccess::granted;
}

std::unique_ptr<MicrophoneCapture> PulseAudioCapture::makeMicrophoneCapture() {
    return std::make_unique<PulseMicrophoneCapture>(m_connection);
}

std::unique_ptr<SystemAudioCapture> PulseAudioCapture::makeSystemAudioCapture() {
    return std::make_unique<PulseSystemAudioCapture>(m_server);
}

std::unique_ptr<ApplicationAudioCapture> PulseAudioCapture::makeApplicationAudioCapture() {
    return std::make_unique<PulseApplicationAudioCapture>(m_server);
}

std::unique_ptr<PlaybackWatch>
PulseAudioCapture::watchPlaybackStreams(PlaybackStreamsHandler changed) {
    return std::make_unique<PulsePlaybackWatch>(m_server, std::move(changed));
}

std::unique_ptr<DeviceWatch> PulseAudioCapture::watchDevices(std::function<void()> changed) {
    return std::make_unique<PulseDeviceWatch>(m_server, std::move(changed));
}

std::optional<std::vector<PlaybackStream>> PulseAudioCapture::playbackStreams() {
    MainloopLock lock(m_connection->startLoop());
    try {
        m_connection->ensureConnected();
    } catch (const EngineError &) {
        return std::nullopt;
    }
    struct Query {
        pa_threaded_mainloop *loop;
        std::vector<PlaybackStream> streams;
        bool failed = false;
    } query{m_connection->loop(), {}};
    if (!m_connection->complete(pa_context_get_sink_input_info_list(
            m_connection->context(),
            [](pa_context *, const pa_sink_input_info *info, int eol, void *data) {
                auto *q = static_cast<Query *>(data);
                if (eol < 0)
                    q->failed = true;
                if (eol == 0 && info)
                    if (auto stream = playbackStreamFrom(info))
                        q->streams.push_back(std::move(*stream));
                if (eol != 0)
                    pa_threaded_mainloop_signal(q->loop, 0);
            },
            &query)) ||
        query.failed)
        return std::nullopt;
    std::sort(query.streams.begin(), query.streams.end(),
              [](const PlaybackStream &a, const PlaybackStream &b) { return a.index < b.index; });
    return query.streams;
}

std::optional<std::vector<InputDeviceRecord>> PulseAudioCapture::inputDevices() {
    MainloopLock lock(m_connection->startLoop());
    try {
        m_connection->ensureConnected();
    } catch (const EngineError &) {
        return std::nullopt;
    }
    struct Query {
        pa_threaded_mainloop *loop;
        std::vector<InputDeviceRecord> records;
        bool failed = false;
    } query{m_connection->loop(), {}};
    if (!m_connection->complete(pa_context_get_source_info_list(
            m_connection->context(),
            [](pa_context *, const pa_source_info *info, int eol, void *data) {
                auto *q = static_cast<Query *>(data);
                if (eol < 0)
                    q->failed = true;
                if (eol == 0 && info) {
                    const SourceInfo source = sourceInfoFrom(info);
                    q->records.push_back(InputDeviceRecord{source.index, source.description,
                                                           source.channels, source.isMonitor,
                                                           source.name});
                }
                if (eol != 0)
                    pa_threaded_mainloop_signal(q->loop, 0);
            },
            &query)) ||
        query.failed)
        return std::nullopt;
    return query.records;
}

} // namespace Orvinta
