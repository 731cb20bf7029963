// What any program of the user may write to the hand-over socket: a line is
// a command only as orvinta-cli writes it, and however the hold key's
// presses and releases arrive, a hold ends with its last release.

#include "RemoteCommand.h"

#include <OrvintaInput/RemoteHoldKey.h>

#include <QCoreApplication>

#include <cstdlib>

using namespace Orvinta;

namespace {

/// Watches the key as a hold-key monitor would, so presses count.
class Watcher : public ModifierKeySource {
public:
    QString unavailableReason() const override { return {}; }
    bool start(const QString &, QString *) override { return true; }
    void stop() override {}
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    static QCoreApplication app(*argc, *argv); // the hold key's timer needs one
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<RemoteCommand> command = RemoteCommand::parse(line)) {
        if (RemoteCommand::parse(command->line()) != command)
            std::abort();
    }

    // The input again as presses and releases with one-byte stamps.
    auto key = std::make_shared<RemoteHoldKey>();
    std::unique_ptr<ModifierKeySource> source = key->makeSource(std::make_unique<Watcher>());
    source->start(QStringLiteral("Control_R"), nullptr);
    std::uint64_t latest = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint64_t stamp = data[i] >> 1;
        const bool press = data[i] & 1;
        press ? key->press(stamp) : key->release(stamp);
        // The newest command of all decides.
        if (stamp > latest && key->isDown() != press)
            std::abort();
        latest = std::max(latest, stamp);
    }
    return 0;
}
