#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <pulse/pulseaudio.h>
#include <pulse/rtclock.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

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
        pa_context_set_state_callback(
            m_context,
            [](pa_context *, void *loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop *>(loop), 0);
            },
            m_loop);
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

    /// Lock held.
    std::optional<SourceInfo> source(const std::optional<std::uint32_t> &index) {
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
                  : pa_context_get_source_info_by_name(m_context, "@DEFAULT_SOURCE@", callback,
                                                       &query);
        if (!complete(operation))
            return std::nullopt;
        return query.info;
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
};

namespace {

/// A record stream; its read and failure callbacks run on the connection's thread.
class RecordStream {
public:
    using Reader = std::function<void(const void *data, std::size_t bytes)>;

    /// Lock held. Throws EngineError with the server's error code.
    RecordStream(PulseConnection &connection, const char *name, const pa_sample_spec &spec,
                 const char *device, std::uint32_t fragmentBytes, Reader reader,
                 CaptureFailureHandler onFailure)
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
        if (pa_stream_connect_record(m_stream, device, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
            release();
            throw error("Cannot record");
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
    pa_stream *m_stream = nullptr;
};

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
        if (!m_connection->source(deviceID))
            return false;
        m_device = deviceID;
        return true;
    }

    AudioFormat inputFormat() override {
        MainloopLock lock(m_connection->startLoop());
        m_connection->ensureConnected();
        const auto info = m_connection->source(m_device);
        if (!info || info->rate == 0 || info->channels == 0)
            throw EngineError(errorDomain, m_connection->lastError(),
                              m_device ? "The chosen audio input device is not available"
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

    void removeTap() override {
        MainloopLock lock(m_connection->startLoop());
        m_handler = nullptr;
        m_onFailure = nullptr;
    }

    void start() override {
        MainloopLock lock(m_connection->startLoop());
        m_connection->ensureConnected();
        m_stream.reset();
        pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(m_format.sampleRate),
                            static_cast<std::uint8_t>(m_format.channels)};
        if (!pa_sample_spec_valid(&spec))
            throw EngineError(errorDomain, PA_ERR_INVALID,
                              "The input device's format is not usable");
        const std::string device = m_device ? std::to_string(*m_device) : std::string();
        const std::size_t frameBytes = m_format.bytesPerPlaneFrame();
        m_stream = std::make_unique<RecordStream>(
            *m_connection, "Orvinta microphone", spec, m_device ? device.c_str() : nullptr,
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
    }

    void stop() override {
        MainloopLock lock(m_connection->startLoop());
        if (m_stream)
            m_stream->disconnect();
        m_stream.reset();
    }

private:
    std::shared_ptr<PulseConnection> m_connection;
    std::optional<std::uint32_t> m_device;
    std::uint32_t m_bufferFrames = 4096;
    AudioFormat m_format;
    CapturedBufferHandler m_handler;
    CaptureFailureHandler m_onFailure;
    std::unique_ptr<RecordStream> m_stream;
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
    }

    void stop() override {
        MainloopLock lock(m_connection->startLoop());
        m_handler = nullptr;
        m_onFailure = nullptr;
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

    std::unique_ptr<PulseConnection> m_connection;
    CapturedSampleHandler m_handler;
    CaptureFailureHandler m_onFailure;
    std::unique_ptr<RecordStream> m_stream;
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
                                                           source.channels, source.isMonitor});
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
