// The tray icon as a user sees it in an XEmbed tray (trayer) on an X server:
// readable on a dark and on a light panel, and while it animates. With
// ORVINTA_TRAY_PICTURES set, the two trays are saved there as
// tray-dark.png and tray-light.png.

#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaApp/ListeningController.h>
#include <OrvintaUi/TrayIcon.h>

#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cmath>
#include <map>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

/// trayer at the top right of the screen, 200 × 24 pixels, in `tint`.
class Trayer {
public:
    explicit Trayer(const char *tint) {
        m_process.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                   "--width", "200", "--height", "24", "--SetDockType", "true",
                                   "--transparent", "true", "--alpha", "0", "--tint", tint});
        m_process.waitForStarted();
    }
    ~Trayer() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

double luminance(QRgb rgb) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

/// trayer's panel as on screen: 200 × 24 at the top right.
QImage trayPicture() {
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect tray(screen->geometry().right() - 199, 0, 200, 24);
    return screen->grabWindow(0, tray.x(), tray.y(), tray.width(), tray.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

struct Measure {
    QRgb panel = 0;
    /// The icon's pixels that stand out from the panel at all.
    int inkPixels = 0;
    /// The median and the highest contrast of those pixels against the panel.
    double contrast = 1;
    double strongest = 1;
};

/// The panel is the picture's commonest colour; the icon is what differs
/// from it inside `icon` (in the picture's coordinates).
Measure measure(const QImage &picture, const QRect &icon) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ++counts[picture.pixel(x, y)];
    Measure m;
    m.panel = std::max_element(counts.begin(), counts.end(), [](const auto &a, const auto &b) {
                  return a.second < b.second;
              })->first;
    std::vector<double> ink;
    const QRect inside = icon.intersected(picture.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (const double c = contrast(picture.pixel(x, y), m.panel); c > 1.2)
                ink.push_back(c);
    m.inkPixels = int(ink.size());
    if (!ink.empty()) {
        std::nth_element(ink.begin(), ink.begin() + ink.size() / 2, ink.end());
        m.contrast = ink[ink.size() / 2];
        m.strongest = *std::max_element(ink.begin(), ink.end());
    }
    return m;
}

/// Waits until the icon sits in the tray and stands out from it by 3:1.
Measure readableIcon(TrayController &tray, QImage &picture) {
    QScreen *screen = QGuiApplication::primaryScreen();
    const QPoint trayOrigin(screen->geometry().right() - 199, 0);
    Measure m;
    waitUntil(
        [&] {
            const QRect icon = tray.iconGeometry();
            if (icon.isEmpty() || !QSystemTrayIcon::isSystemTrayAvailable())
                return false;
            picture = trayPicture();
            m = measure(picture, icon.translated(-trayOrigin));
            return m.inkPixels >= 20 && m.contrast >= 3;
        },
        10s);
    return m;
}

void savePicture(const QImage &picture, const QString &name) {
    const QString folder = qEnvironmentVariable("ORVINTA_TRAY_PICTURES");
    if (folder.isEmpty())
        return;
    // Four times larger, pixel for pixel, so the icon can be seen.
    picture.scaled(picture.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .save(QDir(folder).filePath(name));
}

void report(const char *panel, const Measure &m) {
    std::printf("%s tray: panel #%06x, %d icon pixels, contrast median %.2f:1, highest %.2f:1\n",
                panel, m.panel & 0xffffff, m.inkPixels, m.contrast, m.strongest);
}

} // namespace

TEST(TrayIconX11, standsOutOnADarkAndALightTrayAndWhileItAnimates) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "a tray host is still running";
    AppFixture f;
    TrayController tray(*f.state);
    tray.show();
    QImage picture;
    {
        Trayer dark("0x202020");
        const Measure m = readableIcon(tray, picture);
        report("dark", m);
        EXPECT_LT(luminance(m.panel), 0.05) << "the tray is not dark";
        EXPECT_GE(m.inkPixels, 20);
        EXPECT_GE(m.contrast, 3.0);
        savePicture(picture, "tray-dark.png");
    }
    // The same icon moves to the next tray, now a light one.
    ASSERT_TRUE(waitUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
    Trayer light("0xf0f0f0");
    Measure m = readableIcon(tray, picture);
    report("light", m);
    EXPECT_GT(luminance(m.panel), 0.7) << "the tray is not light";
    EXPECT_GE(m.inkPixels, 20);
    EXPECT_GE(m.contrast, 3.0);
    savePicture(picture, "tray-light.png");

    // Listening: the frames animate in the same colour.
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return tray.shownFrame() > 0; }));
    m = readableIcon(tray, picture);
    report("animated, light", m);
    EXPECT_GE(m.contrast, 3.0);
    f.toggleListening();
}
