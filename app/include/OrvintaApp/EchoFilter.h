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
    /// line spoken with such lines that has three words in a row of one of
    /// them: one that started at the same moment, or one within them that has
    /// two fifths of its words or more in the same order in them.
    bool isEcho(const QString &microphoneText, Stretch spoken);
    /// Whether the computer's recogniser may still be hearing the line: a
    /// third or more of its words are in the computer's interim text.
    static bool mayBeEchoOf(const QString &microphoneText, const QString &computerInterim);
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
