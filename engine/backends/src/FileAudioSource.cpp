#include <OrvintaEngineBackends/FileAudioSource.h>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace Orvinta {

void FileAudioSource::FileCloser::operator()(SNDFILE *file) const {
    sf_close(file);
}

FileAudioSource::FileAudioSource(const std::filesystem::path &path, std::function<bool()> mayFeed,
                                 std::function<void()> finished,
                                 std::function<void(double share)> progress)
    : m_mayFeed(std::move(mayFeed))
    , m_finished(std::move(finished))
    , m_progress(std::move(progress)) {
    // Only regular files: a pipe or a device would block here or never end.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (std::filesystem::is_directory(status))
        throw EngineError("libsndfile", -1,
                          "Cannot read audio file " + path.string() + ": it is a folder");
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        throw EngineError("libsndfile", -1,
                          "Cannot read audio file " + path.string() + ": it is not a regular file");
    SF_INFO info{};
    m_file.reset(sf_open(path.c_str(), SFM_READ, &info));
    if (!m_file)
        throw EngineError("libsndfile", sf_error(nullptr),
                          "Cannot read audio file " + path.string() + ": " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1)
        throw EngineError("libsndfile", -1,
                          "Cannot read audio file " + path.string() +
                              ": it holds no audio channels");
    if (info.samplerate < minimumSampleRate || info.samplerate > maximumSampleRate)
        throw EngineError("libsndfile", -1,
                          "Cannot read audio file " + path.string() + ": its sample rate of " +
                              std::to_string(info.samplerate) + " Hz is not supported (" +
                              std::to_string(minimumSampleRate) + " to " +
                              std::to_string(maximumSampleRate) + " Hz)");
    m_format = AudioFormat{static_cast<double>(info.samplerate),
                           static_cast<std::uint32_t>(info.channels), SampleType::float32, true};
    m_frames = info.frames;
}

FileAudioSource::~FileAudioSource() {
    stop();
}

double FileAudioSource::durationSeconds() const {
    return static_cast<double>(m_frames) / m_format.sampleRate;
}

void FileAudioSource::installTap(std::uint32_t bufferFrames, const AudioFormat &,
                                 CapturedBufferHandler handler, CaptureFailureHandler) {
    m_bufferFrames = bufferFrames;
    m_handler = std::move(handler);
}

void FileAudioSource::removeTap() {
    m_handler = nullptr;
}

void FileAudioSource::start() {
    if (m_started)
        return; // a file plays once
    m_started = true;
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

void FileAudioSource::stop() {
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void FileAudioSource::run(std::stop_token stop) {
    std::int64_t framesRead = 0;
    while (!stop.stop_requested()) {
        if (m_mayFeed && !m_mayFeed()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        AudioBuffer buffer(m_format, m_bufferFrames);
        const sf_count_t read = sf_readf_float(
            m_file.get(), reinterpret_cast<float *>(buffer.planeBytes(0)), m_bufferFrames);
        if (read <= 0)
            break;
        buffer.setFrameLength(static_cast<std::uint32_t>(read));
        if (m_handler)
            m_handler(buffer);
        framesRead += read;
        if (m_progress && m_frames > 0)
            m_progress(
                std::min(1.0, static_cast<double>(framesRead) / static_cast<double>(m_frames)));
    }
    if (!stop.stop_requested() && m_finished)
        m_finished();
}

FileCaptureBackend::FileCaptureBackend(std::unique_ptr<FileAudioSource> source)
    : m_source(std::move(source)) {}

std::unique_ptr<MicrophoneCapture> FileCaptureBackend::makeMicrophoneCapture() {
    return std::move(m_source);
}

std::unique_ptr<SystemAudioCapture> FileCaptureBackend::makeSystemAudioCapture() {
    throw CaptureError::noDisplay();
}

std::optional<std::vector<InputDeviceRecord>> FileCaptureBackend::inputDevices() {
    return std::vector<InputDeviceRecord>{};
}

} // namespace Orvinta
