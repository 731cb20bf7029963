// The PulseAudio back end when the process has run out of descriptors (a
// low `ulimit -n`, or a flood of connections somewhere else in the program).

#include "Fakes.h"

#include <OrvintaEngineBackends/PulseAudioCapture.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace Orvinta;

namespace {

/// Fills the descriptor table under a lowered limit while it lives.
struct FullDescriptorTable {
    OrvintaTest::ResourceLimit limit{RLIMIT_NOFILE, 64};
    std::vector<int> filler;
    bool isFull = false;
    FullDescriptorTable() {
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            filler.push_back(fd);
        isFull = errno == EMFILE;
    }
    ~FullDescriptorTable() {
        for (const int fd : filler)
            ::close(fd);
    }
};

} // namespace

// Without descriptors the client's main loop cannot be made: every call says so as an
// error, none aborts, and the same capture works once there are descriptors again.
TEST(PulseAudioCapture, aFullDescriptorTableIsAnErrorNotACrash) {
    const std::string server = qgetenv("PULSE_SERVER").toStdString();
    std::optional<PulseAudioCapture> capture;
    std::unique_ptr<MicrophoneCapture> microphone;
    std::unique_ptr<SystemAudioCapture> systemAudio;
    {
        const FullDescriptorTable full;
        ASSERT_TRUE(full.isFull);
        capture.emplace(server);
        EXPECT_FALSE(capture->inputDevices());
        try {
            capture->requestMicrophoneAccess();
            ADD_FAILURE() << "no error";
        } catch (const EngineError &error) {
            EXPECT_NE(error.description().find("sound server"), std::string::npos)
                << error.description();
        }
        microphone = capture->makeMicrophoneCapture();
        EXPECT_FALSE(microphone->selectDevice(0));
        EXPECT_THROW(microphone->inputFormat(), EngineError);
        microphone->installTap(
            1024, AudioFormat{48000, 1, SampleType::float32, true}, [](const AudioBuffer &) {},
            [](CaptureFailureKind, std::string) {});
        EXPECT_THROW(microphone->start(), EngineError);
        microphone->stop();
        microphone->removeTap();

        systemAudio = capture->makeSystemAudioCapture();
        EXPECT_THROW(systemAudio->start(
                         16000, [](const std::byte *, std::size_t) {},
                         [](CaptureFailureKind, std::string) {}),
                     CaptureError);
        systemAudio->stop();
    }
    if (server.empty())
        return;
    EXPECT_TRUE(capture->inputDevices());
    EXPECT_EQ(capture->requestMicrophoneAccess(), MicrophoneAccess::granted);
    EXPECT_NO_THROW(microphone->inputFormat());
    microphone.reset();
    systemAudio.reset();
}
