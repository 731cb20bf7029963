// orvinta-symbolic-icons FOLDER: writes the tray icon's symbolic icons into
// FOLDER/hicolor/scalable/status (a build step; the files are installed).

#include <OrvintaUi/WaveformArt.h>

#include <QDir>
#include <QSaveFile>

#include <cstdio>

using namespace Orvinta;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: orvinta-symbolic-icons FOLDER\n");
        return 2;
    }
    const QDir folder(QDir(QString::fromLocal8Bit(argv[1]))
                          .filePath(QString::fromLatin1(WaveformArt::symbolicIconFolder)));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "orvinta-symbolic-icons: cannot create %s\n",
                     qPrintable(folder.path()));
        return 1;
    }
    for (int frame = -1; frame < WaveformArt::frameCount; ++frame) {
        QSaveFile file(folder.filePath(WaveformArt::symbolicIconName(frame) + ".svg"));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(WaveformArt::symbolicIconSvg(frame)) < 0 || !file.commit()) {
            std::fprintf(stderr, "orvinta-symbolic-icons: %s: %s\n", qPrintable(file.fileName()),
                         qPrintable(file.errorString()));
            return 1;
        }
    }
    return 0;
}
