#include <OrvintaEngineBackends/PlaybackStreams.h>

#include <algorithm>
#include <cctype>

namespace Orvinta {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::string applicationKey(const PlaybackStream &stream) {
    return stream.applicationName.empty() ? stream.binary : stream.applicationName;
}

bool playsFor(const PlaybackStream &stream, std::string_view application) {
    if (application.empty())
        return false;
    return (!stream.applicationName.empty() &&
            equalIgnoringCase(stream.applicationName, application)) ||
           (!stream.binary.empty() && equalIgnoringCase(stream.binary, application));
}

std::optional<std::uint32_t> streamToFollow(const std::vector<PlaybackStream> &streams,
                                            std::string_view application,
                                            std::optional<std::uint32_t> current) {
    std::optional<std::uint32_t> newest;
    for (const PlaybackStream &stream : streams) {
        if (stream.corked || !playsFor(stream, application))
            continue;
        if (stream.index == current)
            return current;
        newest = stream.index;
    }
    return newest;
}

std::vector<PlayingApplication> playingApplications(const std::vector<PlaybackStream> &streams) {
    std::vector<PlayingApplication> applications;
    for (const PlaybackStream &stream : streams) {
        if (stream.corked)
            continue;
        const std::string key = applicationKey(stream);
        if (key.empty())
            continue;
        const auto known = std::find_if(
            applications.begin(), applications.end(),
            [&](const PlayingApplication &a) { return equalIgnoringCase(a.name, key); });
        if (known == applications.end())
            applications.push_back({key, stream.binary, stream.iconName, stream.mediaName});
        else if (!stream.mediaName.empty())
            known->mediaName = stream.mediaName;
    }
    return applications;
}

} // namespace Orvinta
