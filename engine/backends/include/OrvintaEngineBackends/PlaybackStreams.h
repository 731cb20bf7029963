#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Orvinta {

/// One stream an application plays into the sound server (a sink input), as
/// the application describes itself.
struct PlaybackStream {
    /// The server's index; every new stream has a new one.
    std::uint32_t index = 0;
    std::string applicationName;
    std::string binary;
    std::string iconName;
    /// What it plays ("media.name"), where the application says.
    std::string mediaName;
    /// Paused by the application: it plays nothing.
    bool corked = false;

    friend bool operator==(const PlaybackStream &, const PlaybackStream &) = default;
};

/// An application with at least one stream that plays now.
struct PlayingApplication {
    /// What identifies it for following: its name, or its binary where it has none.
    std::string name;
    std::string binary;
    std::string iconName;
    /// What its newest playing stream plays; may be empty.
    std::string mediaName;

    friend bool operator==(const PlayingApplication &, const PlayingApplication &) = default;
};

/// The name that identifies the stream's application.
std::string applicationKey(const PlaybackStream &stream);

/// Whether `stream` belongs to `application`: its name or its binary,
/// compared without regard to case. An empty `application` matches nothing.
bool playsFor(const PlaybackStream &stream, std::string_view application);

/// The stream to record for `application` among `streams` (oldest first):
/// the one recorded now (`current`) for as long as it plays, else the newest
/// playing one; nothing while none plays. One stream at a time, never a mix:
/// a short sound of the same application (a notification in another tab)
/// does not take over the call that is being recorded.
std::optional<std::uint32_t> streamToFollow(const std::vector<PlaybackStream> &streams,
                                            std::string_view application,
                                            std::optional<std::uint32_t> current);

/// The applications that play now, one entry each, in the order their
/// first playing stream appears in `streams` (oldest first).
std::vector<PlayingApplication> playingApplications(const std::vector<PlaybackStream> &streams);

} // namespace Orvinta
