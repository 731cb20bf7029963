// The keyboard tests' X11 client (native Wayland with QT_QPA_PLATFORM=wayland): one text field
// with the focus. It prints "ready" once focused, "text: ..." when its text changes and "key: ..."
// per paste keystroke; --terminal makes it an xterm that pastes on Ctrl+Shift+V. "dump" on
// standard input prints what the clipboard holds, as this client sees it through the X server.

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString &line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

/// The text field; as a terminal it pastes on Ctrl+Shift+V and sends Ctrl+V
/// to its program instead.
class Field : public QLineEdit {
public:
    bool terminal = false;

protected:
    void keyPressEvent(QKeyEvent *key) override {
        if (key->key() == Qt::Key_V && (key->modifiers() & Qt::ControlModifier)) {
            const bool shift = key->modifiers() & Qt::ShiftModifier;
            say(shift ? "key: ctrl+shift+v" : "key: ctrl+v");
            if (terminal && shift)
                paste();
            if (terminal)
                return;
        }
        QLineEdit::keyPressEvent(key);
    }
};

void setRichClipboard() {
    auto *data = new QMimeData;
    data->setText("before");
    data->setHtml("<b>before</b>");
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    data->setImageData(image);
    data->setUrls({QUrl::fromLocalFile("/tmp/orvinta-test-file.txt")});
    QApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

void dumpClipboard() {
    const QMimeData *data = QApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data) {
        say("clipboard: none");
        return;
    }
    QStringList formats = data->formats();
    formats.sort();
    say("formats: " + formats.join(' '));
    say("plain: " + data->text());
    say("html: " + QString(data->html()).simplified());
    const QImage image = qvariant_cast<QImage>(data->imageData());
    say(QString("image: %1x%2").arg(image.width()).arg(image.height()));
    QStringList urls;
    for (const QUrl &url : data->urls())
        urls << url.toString();
    say("urls: " + urls.join(' '));
    say("end");
}

} // namespace

int main(int argc, char **argv) {
    const QByteArrayList arguments(argv + 1, argv + argc);
    const bool terminal = arguments.contains("--terminal");
    const qsizetype clipboardAt = arguments.indexOf("--clipboard");
    const QString clipboard =
        clipboardAt >= 0 ? QString::fromUtf8(arguments.value(clipboardAt + 1)) : QString();
    if (terminal)
        qputenv("RESOURCE_NAME", "xterm");
    QApplication app(argc, argv);
    QApplication::setApplicationName(terminal ? "XTerm" : "PasteTarget");

    Field field;
    field.terminal = terminal;
    field.setWindowTitle("Paste target");
    field.resize(600, 40);
    QObject::connect(&field, &QLineEdit::textChanged,
                     [](const QString &text) { say("text: " + text); });
    field.show();
    field.activateWindow();
    field.setFocus();

    if (clipboard == "rich")
        setRichClipboard();
    else if (!clipboard.isEmpty())
        QApplication::clipboard()->setText(clipboard, QClipboard::Clipboard);

    QTimer readyCheck;
    QObject::connect(&readyCheck, &QTimer::timeout, [&] {
        if (QApplication::focusWidget() == &field && field.isActiveWindow()) {
            readyCheck.stop();
            say("ready");
        } else {
            field.activateWindow();
        }
    });
    readyCheck.start(20);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1)) {
            const QByteArray line = pending.left(end);
            if (line == "dump")
                dumpClipboard();
            else if (line == "clear")
                field.clear();
            else if (line == "quit")
                QApplication::quit();
        }
    });
    return app.exec();
}
