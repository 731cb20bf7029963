#include "CliSupport.h"

#include <OrvintaApp/AtomicFile.h>

#include <QCommandLineParser>
#include <QCoroSignal>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace Orvinta::Cli {

namespace {

/// The errno of the first failed write to standard output, or 0.
int outputError = 0;

/// The signal handler's end and the main thread's end of one socket pair.
int signalPipe[2] = {-1, -1};

} // namespace

void fail(const QString &message) {
    // One line, whatever a lower layer put into its description.
    std::fprintf(stderr, "orvinta-cli: %s\n", message.simplified().toUtf8().constData());
}

bool print(const QString &text) {
    if (outputError == 0)
        outputError = writeAll(STDOUT_FILENO, (text + QLatin1Char('\n')).toUtf8());
    return outputError == 0;
}

bool outputFailed() {
    return outputError != 0;
}

int outputStatus() {
    if (outputError == 0 || outputError == EPIPE)
        return 0;
    fail(QStringLiteral("cannot write to standard output: %1")
             .arg(QString::fromLocal8Bit(std::strerror(outputError))));
    return 1;
}

bool readDeviceOption(const QCommandLineParser &parser, const QCommandLineOption &option,
                      std::optional<std::uint32_t> &device) {
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    device = parser.value(option).toUInt(&ok);
    if (!ok)
        fail(QStringLiteral("device id must be a number, as \"orvinta-cli devices\" lists them"));
    return ok;
}

StopRequest::StopRequest() {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        if (::read(signalPipe[1], &byte, 1) > 0)
            request();
    });
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] auto written = ::write(signalPipe[0], &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void StopRequest::request() {
    m_requested = true;
    Q_EMIT requested();
}

QCoro::Task<> StopRequest::wait() {
    if (!m_requested)
        co_await qCoro(this, &StopRequest::requested);
}

} // namespace Orvinta::Cli
