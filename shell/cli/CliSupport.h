#pragma once

// What every orvinta-cli command shares: its one-line errors, checked
// output, and Ctrl-C as a main-thread signal.

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

class QCommandLineOption;
class QCommandLineParser;
class QSocketNotifier;

namespace Orvinta::Cli {

/// One line "orvinta-cli: message" on standard error.
void fail(const QString &message);

/// Writes one line to standard output by length (a NUL inside stays) and
/// unbuffered; false once a write has failed.
bool print(const QString &text);

/// Whether a write to standard output has failed.
bool outputFailed();

/// The exit status after standard output failed: a reader that went away
/// (`| head`) ends the command quietly; anything else is an error.
int outputStatus();

/// Reads the --device option into `device` (left empty when the option is
/// not given); false, with the error said, when it is not a device id.
bool readDeviceOption(const QCommandLineParser &parser, const QCommandLineOption &option,
                      std::optional<std::uint32_t> &device);

/// Turns SIGINT and SIGTERM (and whatever else calls request()) into one
/// main-thread signal.
class StopRequest : public QObject {
    Q_OBJECT
public:
    StopRequest();

    void request();
    bool isRequested() const { return m_requested; }
    QCoro::Task<> wait();

Q_SIGNALS:
    void requested();

private:
    QSocketNotifier *m_notifier = nullptr;
    bool m_requested = false;
};

} // namespace Orvinta::Cli
