// The tray icon as a user sees it in an XEmbed tray (trayer) on an X server:
// readable on a dark and on a light panel, and while it animates.

#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaApp/ListeningController.h>
#include <OrvintaUi/TrayIcon.h>

#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

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

struct Measure {
    QRgb panel = 0;
    /// The icon's pixels that stand out from the panel at all.
    int inkPixels = 0;
    /// The median contrast of those pixels against the panel.
    double contrast = 1;
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
            if (const double c = contrastRatio(picture.pixelColor(x, y), QColor(m.panel)); c > 1.2)
                ink.push_back(c);
    m.inkPixels = int(ink.size());
    if (!ink.empty()) {
        std::nth_element(ink.begin(), ink.begin() + ink.size() / 2, ink.end());
        m.contrast = ink[ink.size() / 2];
    }
    return m;
}

/// Waits until the icon sits in the tray and stands out from it by 3:1.
Measure readableIcon(TrayController &tray) {
    QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area(screen->geometry().right() - 199, 0, 200, 24); // trayer's panel
    Measure m;
    waitUntil(
        [&] {
            const QRect icon = tray.iconGeometry();
            if (icon.isEmpty() || !QSystemTrayIcon::isSystemTrayAvailable())
                return false;
            const QImage picture = screen->grabWindow(0, area.x(), area.y(), 200, 24).toImage();
            m = measure(picture.convertToFormat(QImage::Format_RGB32),
                        icon.translated(-area.topLeft()));
            return m.inkPixels >= 20 && m.contrast >= 3;
        },
        10s);
    return m;
}

} // namespace

TEST(TrayIconX11, standsOutOnADarkAndALightTrayAndWhileItAnimates) {
    if (!onX11())
        GTEST_SKIP() << "needs an X server";
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "a tray host is still running";
    AppFixture f;
    TrayController tray(*f.state);
    tray.show();
    const auto expectReadable = [&](bool darkTray) {
        const Measure m = readableIcon(tray);
        const double luminance = Contrast::relativeLuminance(QColor(m.panel));
        EXPECT_TRUE(darkTray ? luminance < 0.05 : luminance > 0.7) << "the tray's tint";
        EXPECT_GE(m.inkPixels, 20);
        EXPECT_GE(m.contrast, 3.0);
    };
    {
        Trayer dark("0x202020");
        expectReadable(true);
    }
    // The same icon moves to the next tray, now a light one, and animates there.
    ASSERT_TRUE(waitUntil([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }));
    Trayer light("0xf0f0f0");
    expectReadable(false);
    f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return tray.shownFrame() > 0; }));
    expectReadable(false);
    f.toggleListening();
}
