#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <string>

namespace Orvinta {

/// Without a headset the microphone hears the computer's speakers, so in a run
/// on both the computer's words come back as the microphone's. Keeps what the
/// computer said in the last few seconds and tells the microphone's repeats
/// of it. Main thread only.
class EchoFilter {
public:
    /// When a line was spoken, as a timestamp (seconds) from its first word
    /// to its last.
    struct Stretch {
        double start = 0;
        double end = 0;
    };

    /// How long a computer line may come back through the microphone as a
    /// near repeat (as near as a run's own dedup allows), in seconds.
    static constexpr double window = 5;
    /// How far apart, in seconds, an echo and its line may start and end:
    /// the speakers' delay, and two recognisers placing words a little apart.
    static constexpr double sameMoment = 0.5;

    void computerSaid(const QString &text, Stretch spoken);
    /// Whether the microphone's line repeats what the computer said: a near
    /// repeat of one line, or of two or three in a row, ended within the
    /// window. Two recognisers rarely hear the same sound alike, so also a
    /// line spoken with such lines, with fewer words alike the closer in
    /// time: starting and ending at the same moment, a quarter of its words
    /// (two at least) in the same order in them; starting at the same moment,
    /// three words in a row of one of them; within them, three in a row and
    /// two fifths of its words in order.
    bool isEcho(const QString &microphoneText, Stretch spoken);
    void clear() { m_said.clear(); }

private:
    struct Said {
        Stretch spoken;
        std::string form;
        QStringList words;
    };
    std::deque<Said> m_said;
};

} // namespace Orvinta
