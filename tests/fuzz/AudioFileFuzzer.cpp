// What `orvinta-cli transcribe` does with a file before the recogniser: open
// it as audio, read it in 4096-frame buffers, convert them to 16 kHz mono.

#include "FuzzSupport.h"

#include <OrvintaEngineBackends/BufferConverter.h>
#include <OrvintaEngineBackends/FileAudioSource.h>

#include <condition_variable>
#include <mutex>

using namespace Orvinta;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::mutex lock;
    std::condition_variable ended;
    bool finished = false;
    try {
        FileAudioSource file(
            OrvintaFuzz::asFile(data, size, ".wav"), [] { return true; },
            [&] {
                const std::lock_guard guard(lock);
                finished = true;
                ended.notify_all();
            });
        BufferConverter converter(AudioFormat{16000, 1, SampleType::float32, false});
        file.installTap(
            4096, file.inputFormat(),
            [&](const AudioBuffer &buffer) {
                try {
                    (void)converter.convert(buffer);
                } catch (const EngineError &) {
                }
            },
            nullptr);
        file.start();
        std::unique_lock guard(lock);
        ended.wait_for(guard, std::chrono::seconds(20), [&] { return finished; });
    } catch (const EngineError &) {
    }
    return 0;
}
