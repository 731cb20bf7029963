#include "RemoteCommand.h"

#include <QList>

#include <algorithm>

namespace Orvinta {

namespace {

bool isStamp(const QByteArray &word) {
    return !word.isEmpty() && word.size() <= 20 &&
           std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool RemoteCommand::isToggle(const QString &name) {
    for (const char *toggle :
         {"recording", "auto-copy", "auto-paste", "overlay", "focus-captions", "dictation"})
        if (name == QLatin1String(toggle))
            return true;
    return false;
}

QByteArray RemoteCommand::line() const {
    switch (kind) {
    case Kind::holdPress:
        return "hold press " + QByteArray::number(static_cast<qulonglong>(stamp));
    case Kind::holdRelease:
        return "hold release " + QByteArray::number(static_cast<qulonglong>(stamp));
    case Kind::toggle:
        return "toggle " + toggle.toUtf8();
    }
    return {};
}

std::optional<RemoteCommand> RemoteCommand::parse(const QByteArray &line) {
    const QList<QByteArray> words = line.split(' ');
    if (words.size() == 3 && words[0] == "hold" && isStamp(words[2])) {
        bool ok = false;
        const qulonglong stamp = words[2].toULongLong(&ok);
        if (!ok)
            return std::nullopt;
        if (words[1] == "press")
            return RemoteCommand{Kind::holdPress, stamp, {}};
        if (words[1] == "release")
            return RemoteCommand{Kind::holdRelease, stamp, {}};
        return std::nullopt;
    }
    if (words.size() == 2 && words[0] == "toggle") {
        const QString name = QString::fromUtf8(words[1]);
        if (isToggle(name))
            return RemoteCommand{Kind::toggle, 0, name};
    }
    return std::nullopt;
}

} // namespace Orvinta
