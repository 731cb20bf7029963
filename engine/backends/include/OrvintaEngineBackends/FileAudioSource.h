#pragma once

#include <OrvintaEngineBackends/AudioCapture.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

typedef struct sf_private_tag SNDFILE;

namespace Orvinta {

/// Plays an audio file (any format libsndfile reads) into the engine as if it
/// were a microphone: 4096-frame buffers in the file's own rate and channel
/// count, from its own thread, as fast as `mayFeed` allows.
class FileAudioSource : public MicrophoneCapture {
public:
    /// Rates outside these are refused: the converter cannot make speech of them.
    static constexpr int minimumSampleRate = 4000;
    static constexpr int maximumSampleRate = 384000;

    /// Throws EngineError when the file cannot be opened as audio. `progress`
    /// hears, from the source's thread, the share of the file read after
    /// each buffer.
    FileAudioSource(const std::filesystem::path &path, std::function<bool()> mayFeed,
                    std::function<void()> finished,
                    std::function<void(double share)> progress = nullptr);
    ~FileAudioSource() override;

    double durationSeconds() const;

    bool selectDevice(std::uint32_t) override { return true; }
    AudioFormat inputFormat() override { return m_format; }
    /// A file cannot fail mid-run: its end is reported through `finished`.
    void installTap(std::uint32_t bufferFrames, const AudioFormat &format,
                    CapturedBufferHandler handler, CaptureFailureHandler onFailure) override;
    void removeTap() override;
    void start() override;
    void stop() override;

private:
    void run(std::stop_token stop);

    struct FileCloser {
        void operator()(SNDFILE *file) const;
    };
    std::unique_ptr<SNDFILE, FileCloser> m_file;
    AudioFormat m_format;
    std::int64_t m_frames = 0;
    std::uint32_t m_bufferFrames = 4096;
    CapturedBufferHandler m_handler;
    std::function<bool()> m_mayFeed;
    std::function<void()> m_finished;
    std::function<void(double share)> m_progress;
    std::jthread m_thread;
    bool m_started = false;
};

/// A capture back end whose microphone is a file source made elsewhere.
class FileCaptureBackend : public AudioCaptureBackend {
public:
    explicit FileCaptureBackend(std::unique_ptr<FileAudioSource> source);

    MicrophoneAccess requestMicrophoneAccess() override { return MicrophoneAccess::granted; }
    std::unique_ptr<MicrophoneCapture> makeMicrophoneCapture() override;
    std::unique_ptr<SystemAudioCapture> makeSystemAudioCapture() override;
    std::optional<std::vector<InputDeviceRecord>> inputDevices() override;

private:
    std::unique_ptr<FileAudioSource> m_source;
};

} // namespace Orvinta
