// screen-grab FILE.png [X Y WIDTH HEIGHT]: saves the X screen of $DISPLAY, or a
// part of it.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: screen-grab FILE.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    QScreen *screen = QGuiApplication::primaryScreen();
    const auto number = [&](int i) { return QString::fromLocal8Bit(argv[i]).toInt(); };
    const QPixmap picture = !screen ? QPixmap()
                            : argc == 6
                                ? screen->grabWindow(0, number(2), number(3), number(4), number(5))
                                : screen->grabWindow(0);
    if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "screen-grab: cannot grab the screen into %s\n", argv[1]);
        return 1;
    }
    return 0;
}
