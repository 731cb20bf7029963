// What the keyboard services cost the user, measured on the real X server
// and sound server (run under scripts/test-services.sh):
//  1. hold-key press -> onHoldBegin (silent recording may start; threshold
//     50 ms included) and onHoldStart (tone and bubble; confirm delay included);
//  2. shortcut press -> its action runs;
//  3. with orvinta-cli dictate: hold-key press -> recording runs, and -> the
//     start tone; hold-key release -> the text of a 10-word dictation is in
//     another window.

#include "InputBenchSupport.h"
#include "x11/X11Connection.h"
#include "x11/X11KeyGrabber.h"
#include "x11/X11ModifierKeySource.h"

#include <OrvintaInput/DictationKeyMonitor.h>
#include <OrvintaInput/HotkeyManager.h>

#include <OrvintaApp/PreferencesStore.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <vector>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace Orvinta;
using namespace Orvinta::Bench;
using Clock = std::chrono::steady_clock;

namespace {

Display *s_keyboard = nullptr;

void fakeKey(KeySym sym, bool down) {
    XTestFakeKeyEvent(s_keyboard, XKeysymToKeycode(s_keyboard, sym), down ? True : False,
                      CurrentTime);
    XFlush(s_keyboard);
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct HoldKeySamples {
    std::vector<double> begin;
    std::vector<double> start;
};

HoldKeySamples holdKeyLatency(const std::shared_ptr<X11Connection> &connection) {
    DictationKeyMonitor monitor(std::make_unique<X11ModifierKeySource>(connection, QString()),
                                [] { return QStringLiteral("Control_R"); });
    Clock::time_point begun;
    Clock::time_point started;
    bool held = false;
    monitor.onHoldBegin = [&] { begun = Clock::now(); };
    monitor.onHoldStart = [&] { started = Clock::now(), held = true; };
    HoldKeySamples samples;
    if (!monitor.start())
        return samples;
    for (int i = 0; i < 20; ++i) {
        held = false;
        const auto pressed = Clock::now();
        fakeKey(XK_Control_R, true);
        if (waitFor([&] { return held; }, 2000)) {
            samples.begin.push_back(ms(begun - pressed));
            samples.start.push_back(ms(started - pressed));
        }
        fakeKey(XK_Control_R, false);
        waitFor([&] { return !monitor.isHolding(); }, 2000);
    }
    return samples;
}

std::vector<double> shortcutLatency(const std::shared_ptr<X11Connection> &connection,
                                    const std::shared_ptr<PreferencesStore> &store) {
    HotkeyManager manager(store, std::make_unique<X11KeyGrabber>(connection, QString()));
    Clock::time_point ran;
    bool toggled = false;
    manager.setActions({[&] { ran = Clock::now(), toggled = true; }, {}, {}, {}, {}});
    manager.start();
    std::vector<double> samples;
    if (!manager.isRegistered(HotkeyAction::toggleListening))
        return samples;
    for (int i = 0; i < 20; ++i) {
        toggled = false;
        fakeKey(XK_Control_L, true);
        fakeKey(XK_Alt_L, true);
        const auto pressed = Clock::now();
        fakeKey(XK_s, true);
        if (waitFor([&] { return toggled; }, 2000))
            samples.push_back(ms(ran - pressed));
        fakeKey(XK_s, false);
        fakeKey(XK_Alt_L, false);
        fakeKey(XK_Control_L, false);
    }
    return samples;
}

/// The lines of a child's output, each with the time it was read.
struct Lines {
    QProcess &process;
    QProcess::ProcessChannel channel;
    QString pending;
    std::vector<std::pair<Clock::time_point, QString>> lines;
    std::size_t mark = 0;

    void read() {
        process.setReadChannel(channel);
        pending += QString::fromUtf8(process.readAll());
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            lines.emplace_back(Clock::now(), pending.left(end));
    }
    /// Only lines from now on count.
    void skip() {
        read();
        mark = lines.size();
    }
    /// The first line since the mark that contains `text`; the mark moves past it.
    const std::pair<Clock::time_point, QString> *waitFor(const QString &text, int timeoutMs) {
        std::size_t found = 0;
        const bool seen = Bench::waitFor(
            [&] {
                read();
                for (found = mark; found < lines.size(); ++found)
                    if (lines[found].second.contains(text))
                        return true;
                return false;
            },
            timeoutMs);
        if (!seen)
            return nullptr;
        mark = found + 1;
        return &lines[found];
    }
};

struct DictationSamples {
    std::vector<double> recording;
    std::vector<double> tone;
    std::vector<double> paste;
};

DictationSamples dictationLatency(const QString &speech) {
    DictationSamples samples;
    QProcess target;
    target.start(QStringLiteral(ORVINTA_PASTE_TARGET), {});
    Lines targetLines{target, QProcess::StandardOutput, {}, {}};
    if (!targetLines.waitFor("ready", 20000))
        return samples;
    QTemporaryDir home;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(ORVINTA_CLI_PATH), {"dictate", "--verbose"});
    Lines log{cli, QProcess::StandardError, {}, {}};
    if (!log.waitFor("Ready: hold", 60000))
        return samples;
    for (int i = 0; i < 5; ++i) {
        target.write("clear\n");
        targetLines.waitFor("text: ", 5000);
        log.skip();
        const std::size_t sincePress = log.mark;
        const auto pressed = Clock::now();
        fakeKey(XK_Control_R, true);
        const auto *recording = log.waitFor("startDictation complete", 30000);
        if (!recording)
            break;
        samples.recording.push_back(ms(recording->first - pressed));
        // The tone comes with the hold's start, after or before the engine's.
        log.mark = sincePress;
        if (const auto *tone = log.waitFor("start tone", 2000))
            samples.tone.push_back(ms(tone->first - pressed));
        QProcess player;
        player.start("paplay", {"--device=orvinta_mic_feed", speech});
        player.waitForFinished(30000);
        const auto released = Clock::now();
        fakeKey(XK_Control_R, false);
        const auto *line = targetLines.waitFor("text: ", 10000);
        if (line && line->second.size() > 6) {
            samples.paste.push_back(ms(line->first - released));
            std::printf("  dictation %d pasted: %s\n", i + 1, qUtf8Printable(line->second.mid(6)));
        }
        log.waitFor("Dictation stopped", 10000);
    }
    cli.terminate();
    cli.waitForFinished(10000);
    target.write("quit\n");
    target.waitForFinished(3000);
    return samples;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "bench-input needs DISPLAY and PULSE_SERVER: run it under "
                             "scripts/test-services.sh\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    s_keyboard = XOpenDisplay(nullptr);
    QString error;
    auto connection = X11Connection::open(&error);
    if (!s_keyboard || !connection) {
        std::fprintf(stderr, "cannot open the display: %s\n", qUtf8Printable(error));
        return 1;
    }
    QTemporaryDir folder;
    auto store = std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));

    const HoldKeySamples hold = holdKeyLatency(connection);
    report("hold-key press -> onHoldBegin (main thread)", hold.begin, "70 ms");
    report("hold-key press -> onHoldStart (main thread)", hold.start, "-");
    report("shortcut press -> onToggle runs", shortcutLatency(connection, store), "30 ms");

    // Ten words, spoken by espeak-ng into the virtual microphone.
    const QString speech = folder.filePath("ten-words.wav");
    QProcess espeak;
    espeak.start("espeak-ng", {"-s", "150", "-w", speech,
                               "please send the quarterly report to the finance team today"});
    espeak.waitForFinished(30000);
    const DictationSamples dictation = dictationLatency(speech);
    report("hold-key press -> recording runs (orvinta-cli)", dictation.recording, "-");
    report("hold-key press -> start tone (orvinta-cli)", dictation.tone, "-");
    report("hold-key release -> 10-word text in another window", dictation.paste, "1000 ms");
    return 0;
}
