#include <OrvintaInput/RemoteHoldKey.h>

#include <OrvintaInput/InputLog.h>

#include <QFile>

#include <ctime>

#include <unistd.h>

namespace Orvinta {

/// The remote key and the local source as one: the hold key is down while
/// either says so.
class RemoteHoldKey::Source : public ModifierKeySource {
public:
    Source(std::shared_ptr<RemoteHoldKey> key, std::unique_ptr<ModifierKeySource> local)
        : m_key(std::move(key))
        , m_local(std::move(local)) {
        if (!m_local)
            return;
        m_local->setFlagsHandler([this](std::uint64_t flags) {
            m_localFlags = flags;
            changed();
        });
        m_local->setOtherPressHandler([this] { reportOtherPress(); });
    }
    ~Source() override { stop(); }

    QString unavailableReason() const override { return {}; }

    bool start(const QString &holdKey, QString *) override {
        stop();
        QString reason = m_local ? m_local->unavailableReason() : QString();
        if (m_local && reason.isEmpty() && !m_local->start(holdKey, &reason) && reason.isEmpty())
            reason = QStringLiteral("the key cannot be watched");
        if (!reason.isEmpty() && !m_unavailableLogged) {
            qCWarning(lcDictationKey,
                      "Hold-key dictation unavailable: %s; orvinta-cli hold press and release "
                      "still reach it",
                      qUtf8Printable(reason));
            m_unavailableLogged = true;
        }
        m_localRunning = reason.isEmpty();
        m_key->m_watcher = this;
        return true;
    }

    void stop() override {
        if (m_localRunning)
            m_local->stop();
        m_localRunning = false;
        m_localFlags = 0;
        if (m_key->m_watcher == this)
            m_key->m_watcher = nullptr;
    }

    void changed() { reportFlags(m_localFlags | (m_key->m_down ? holdKeyFlag : 0)); }

private:
    std::shared_ptr<RemoteHoldKey> m_key;
    std::unique_ptr<ModifierKeySource> m_local;
    bool m_localRunning = false;
    bool m_unavailableLogged = false;
    std::uint64_t m_localFlags = 0;
};

RemoteHoldKey::RemoteHoldKey(std::chrono::milliseconds maxHold)
    : m_maxHold(maxHold) {
    m_maxHoldTimer.setSingleShot(true);
    m_maxHoldTimer.callOnTimeout([this] {
        qCWarning(lcDictationKey,
                  "No hold release came within %lld s (a lost orvinta-cli hold release?): the "
                  "hold ends",
                  static_cast<long long>(
                      std::chrono::duration_cast<std::chrono::seconds>(m_maxHold).count()));
        setDown(false);
    });
}

RemoteHoldKey::Answer RemoteHoldKey::press(std::uint64_t stamp) {
    if (!m_watcher)
        return Answer::notWatched;
    if (stamp <= m_lastRelease)
        return Answer::ignored; // its release has come already
    m_lastPress = std::max(m_lastPress, stamp);
    // Down already: a release was lost, and the hold counts from this press.
    m_maxHoldTimer.start(m_maxHold);
    if (m_down)
        return Answer::ignored;
    setDown(true);
    return Answer::taken;
}

RemoteHoldKey::Answer RemoteHoldKey::release(std::uint64_t stamp) {
    if (!m_watcher)
        return Answer::notWatched;
    if (stamp < m_lastPress)
        return Answer::ignored; // a later press holds the key
    m_lastRelease = std::max(m_lastRelease, stamp);
    if (!m_down)
        return Answer::ignored;
    setDown(false);
    return Answer::taken;
}

void RemoteHoldKey::setDown(bool down) {
    m_down = down;
    if (!down)
        m_maxHoldTimer.stop();
    if (m_watcher)
        m_watcher->changed();
}

std::unique_ptr<ModifierKeySource>
RemoteHoldKey::makeSource(std::unique_ptr<ModifierKeySource> local) {
    return std::make_unique<Source>(shared_from_this(), std::move(local));
}

std::uint64_t processStartStamp() {
    // Field 22 of /proc/self/stat, after the command name in parentheses.
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        bool ok = false;
        const std::uint64_t ticks = fields.size() > 19 ? fields[19].toULongLong(&ok) : 0;
        const long perSecond = sysconf(_SC_CLK_TCK);
        if (ok && perSecond > 0)
            return ticks * (1'000'000'000ULL / static_cast<std::uint64_t>(perSecond));
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

} // namespace Orvinta
