// Paste at the cursor on a wlroots compositor with no X server at all
// (headless sway, started by ./test.sh): orvinta-cli pastes into a native
// Wayland Qt window and gives the user's clipboard back in every format.

#include "InputTestSupport.h"

#include <OrvintaInput/WaylandKeyboard.h>

#include <QBuffer>
#include <QImage>

using namespace Orvinta;
using namespace Orvinta::InputTesting;

namespace {

#define REQUIRE_WAYLAND()                                                                          \
    if (qEnvironmentVariableIsEmpty("ORVINTA_TEST_WAYLAND_DISPLAY"))                               \
    GTEST_SKIP() << "needs a Wayland compositor (./test.sh starts headless sway)"

struct Finished {
    int exitCode = -1;
    QString errors;
};

Finished run(const QString &program, const QStringList &arguments,
             const QProcessEnvironment &environment, const QByteArray &input = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    Finished result;
    if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    result.errors = QString::fromUtf8(process.readAllStandardError());
    return result;
}

/// Every type the clipboard offers, with its content, as wl-paste reads it.
std::map<QString, QByteArray> clipboardContent(const QProcessEnvironment &environment) {
    QProcess list;
    list.setProcessEnvironment(environment);
    list.start("wl-paste", {"--list-types"});
    list.waitForFinished(10000);
    std::map<QString, QByteArray> content;
    for (const QByteArray &type : list.readAllStandardOutput().split('\n'))
        if (!type.isEmpty()) {
            QProcess paste;
            paste.setProcessEnvironment(environment);
            paste.start("wl-paste", {"--no-newline", "--type", QString::fromUtf8(type)});
            paste.waitForFinished(10000);
            content[QString::fromUtf8(type)] = paste.readAllStandardOutput();
        }
    return content;
}

} // namespace

TEST(WaylandPaste, theCliPastesIntoANativeWindowAndEveryClipboardFormatComesBack) {
    REQUIRE_WAYLAND();
    const QString compositor = qEnvironmentVariable("ORVINTA_TEST_WAYLAND_DISPLAY");
    {
        // What the compositor offers, as the back end reports it.
        qputenv("WAYLAND_DISPLAY", compositor.toUtf8());
        const WaylandKeyboard keyboard = openWaylandKeyboard();
        qunsetenv("WAYLAND_DISPLAY");
        EXPECT_TRUE(keyboard.connected && keyboard.virtualKeyboard && keyboard.dataControl);
        EXPECT_EQ(keyboard.unavailableReason, "");
    }

    // No X server: the children know only the compositor, and the user's settings are their own.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.insert("WAYLAND_DISPLAY", compositor);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    PasteTarget target({}, environment);
    ASSERT_TRUE(target.waitUntilReady());

    QByteArray png;
    QBuffer buffer(&png);
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"));
    // An image from one program, then text (wl-copy offers it under five names) from another.
    for (const auto &[copyOptions, content] :
         {std::pair<QStringList, QByteArray>{{"--type", "image/png"}, png},
          {{}, QByteArray("before")}}) {
        ASSERT_EQ(run("wl-copy", copyOptions, environment, content).exitCode, 0);
        const std::map<QString, QByteArray> before = clipboardContent(environment);
        ASSERT_FALSE(before.empty());

        const Finished paste =
            run(QStringLiteral(ORVINTA_CLI_PATH), {"paste", "héllo wörld"}, environment);
        EXPECT_EQ(paste.exitCode, 0) << paste.errors.toStdString();
        EXPECT_EQ(paste.errors, "");
        ASSERT_TRUE(target.waitForLine("text: héllo wörld")) << target.lastText().toStdString();
        EXPECT_EQ(clipboardContent(environment), before);
        target.send("clear");
        ASSERT_TRUE(target.waitForLine("text: "));
    }
    // The program that serves the restored content ends with its clipboard.
    run("wl-copy", {"--clear"}, environment);

    // A compositor that cannot be reached: exit 1 with one line that says so.
    environment.insert("WAYLAND_DISPLAY", home.filePath("no-such-wayland"));
    const Finished unreachable =
        run(QStringLiteral(ORVINTA_CLI_PATH), {"paste", "lost"}, environment);
    EXPECT_EQ(unreachable.exitCode, 1);
    EXPECT_TRUE(unreachable.errors.startsWith("orvinta-cli: cannot connect to the Wayland display"))
        << unreachable.errors.toStdString();
    EXPECT_EQ(unreachable.errors.count('\n'), 1);
}
