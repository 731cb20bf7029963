#pragma once

#include <QString>

#include <deque>
#include <string>

namespace Orvinta {

/// Without a headset the microphone hears the computer's speakers, so in a run
/// on both the computer's words come back as the microphone's. Keeps what the
/// computer said in the last few seconds and tells the microphone's repeats
/// of it. Main thread only.
class EchoFilter {
public:
    /// How long a computer line may come back through the microphone, in seconds.
    static constexpr double window = 5;

    void computerSaid(const QString &text, double timestamp);
    /// Whether the microphone's line repeats what the computer said within
    /// the window: one line, or two or three in a row (the two recognisers may
    /// cut the speech apart differently), as near as the run's own dedup
    /// allows; or word for word a part of one line.
    bool isEcho(const QString &microphoneText, double timestamp);
    /// Whether the computer's recogniser may still be hearing the line: at
    /// least half of its words are in the computer's interim text.
    static bool mayBeEchoOf(const QString &microphoneText, const QString &computerInterim);
    void clear() { m_said.clear(); }

private:
    struct Said {
        double timestamp;
        std::string form;
    };
    std::deque<Said> m_said;
};

} // namespace Orvinta
