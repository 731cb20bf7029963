#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaPlatform/X11OverlayWindowPlatform.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QQmlEngine>
#include <QRasterWindow>
#include <QScreen>

#include <stdexcept>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

/// The window's frame on the screen, as the X server sees it.
QRect serverGeometry(QWindow *window) {
    xcb_connection_t *x =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_get_geometry_reply_t *geometry =
        xcb_get_geometry_reply(x, xcb_get_geometry(x, id), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    xcb_translate_coordinates_reply_t *origin =
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, id, root, 0, 0), nullptr);
    QRect frame;
    if (geometry && origin)
        frame = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    std::free(geometry);
    std::free(origin);
    return frame;
}

const QString blur = QStringLiteral("_KDE_NET_WM_BLUR_BEHIND_REGION");

QString xprop(QWindow *window, const QString &property) {
    return xTool("xprop", {"-id", QString::number(window->winId()), property});
}

QPoint globalCentre(QQuickItem *item) {
    return item->mapToGlobal(QPointF(item->width() / 2, item->height() / 2)).toPoint();
}

/// Moves the pointer to `at`, then does `then` (a click, a button down or up).
void pointer(QPoint at, const QStringList &then = {}) {
    xdotool(QStringList{"mousemove", QString::number(at.x()), QString::number(at.y())} + then);
    spin(30ms);
}

void click(QPoint at) {
    pointer(at, {"click", "1"});
}

/// Presses the left button at `from`, moves along `path` and lets go.
void drag(QPoint from, const QList<QPoint> &path) {
    pointer(from, {"mousedown", "1"});
    for (QPoint at : path)
        pointer(at);
    xdotool({"mouseup", "1"});
    spin(30ms);
}

struct Desk {
    explicit Desk(std::optional<QString> savedFrame = std::nullopt) {
        if (savedFrame)
            f.preferences->setString("OrvintaOverlay", *savedFrame);
        settings = std::make_unique<OverlaySettings>(f.preferences);
        OverlayWindowController::Services services;
        services.translation = std::make_shared<PrefixTranslator>();
        services.platform = makeX11OverlayWindowPlatform();
        controller = std::make_unique<OverlayWindowController>(*f.state, *settings, engine,
                                                               std::move(services));
    }
    /// The overlay, shown; a test without one fails.
    QQuickWindow *show() {
        f.state->setupOverlay();
        QQuickWindow *window = controller->window();
        if (!window)
            throw std::runtime_error("the overlay window did not load");
        waitUntil([&] { return window->isExposed(); }, 10s);
        return window;
    }

    AppFixture f;
    QQmlEngine engine;
    std::unique_ptr<OverlaySettings> settings;
    std::unique_ptr<OverlayWindowController> controller;
};

class PressCounter : public QRasterWindow {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

class OverlayWindow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onX11())
            GTEST_SKIP() << "needs an X display ($DISPLAY)";
    }
};

} // namespace

TEST_F(OverlayWindow, firstFrameSavedFramesAndTheSizeRule) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 1440, 900))
        << "the test screen is 1440 x 900";
    {
        Desk desk;
        QQuickWindow *window = desk.show();
        EXPECT_EQ(serverGeometry(window), QRect(420, 900 - 80 - 280, 600, 280));
        // No task-bar or pager entry, on every desktop, above the others.
        const QString states = xprop(window, "_NET_WM_STATE");
        for (const char *state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER",
                                  "_NET_WM_STATE_STICKY", "_NET_WM_STATE_ABOVE"})
            EXPECT_TRUE(states.contains(QLatin1String(state))) << states.toStdString();
        EXPECT_TRUE(xprop(window, "_NET_WM_DESKTOP").contains("4294967295"));
        EXPECT_TRUE(xprop(window, "WM_HINTS").contains("False"))
            << "the window must not ask for the keyboard focus";
        // No blur where the compositor does not offer it.
        EXPECT_FALSE(desk.controller->blurBehind());
        EXPECT_FALSE(xprop(window, blur).contains("CARDINAL"));
    }
    // Too small, larger than the screen (brought down to it), or fitting; hidden
    // and shown again, the same frame (a move is saved: the header drag).
    for (const auto &[saved, frame] : {std::pair{"10 10 80 400", QRect(420, 540, 600, 280)},
                                       {"0 0 20000 20000", QRect(0, 0, 1440, 900)},
                                       {"100 120 700 200", QRect(100, 120, 700, 200)}}) {
        Desk desk{QString(saved)};
        QQuickWindow *window = desk.show();
        EXPECT_EQ(serverGeometry(window), frame) << saved;
        desk.f.state->toggleOverlay();
        EXPECT_FALSE(window->isVisible());
        desk.f.state->toggleOverlay();
        ASSERT_TRUE(waitUntil([&] { return window->isExposed(); }, 10s));
        EXPECT_EQ(serverGeometry(window), frame) << saved;
    }
}

TEST_F(OverlayWindow, theBottomLeftHandleKeepsTheRightEdgeAndTheMinimumWidth) {
    Desk desk;
    QQuickWindow *window = desk.show();
    ASSERT_EQ(serverGeometry(window), QRect(420, 540, 600, 280));
    auto *handle = window->findChild<QQuickItem *>("bottomLeftHandle");
    ASSERT_TRUE(handle);
    const QPoint start = globalCentre(handle);
    QList<QPoint> rightwards;
    for (int step = 1; step <= 5; ++step)
        rightwards << start + QPoint(100 * step, 0);
    drag(start, rightwards);
    ASSERT_TRUE(waitUntil([&] { return serverGeometry(window).width() == 300; }, 5s))
        << serverGeometry(window).width();
    EXPECT_EQ(serverGeometry(window), QRect(720, 540, 300, 280));

    auto *right = window->findChild<QQuickItem *>("bottomRightHandle");
    ASSERT_TRUE(right);
    const QPoint corner = globalCentre(right);
    drag(corner, {corner + QPoint(50, -300)});
    ASSERT_TRUE(waitUntil([&] { return serverGeometry(window).height() == 150; }, 5s));
    EXPECT_EQ(serverGeometry(window), QRect(720, 540, 350, 150));

    // Dragging the header moves the window (by following the pointer where no
    // window manager moves it), and the new frame is saved.
    const QPoint header = serverGeometry(window).topLeft() + QPoint(60, 8);
    drag(header, {header - QPoint(100, 50), header - QPoint(200, 100)});
    ASSERT_TRUE(waitUntil([&] { return serverGeometry(window).topLeft() == QPoint(520, 440); }, 5s))
        << serverGeometry(window).x() << "," << serverGeometry(window).y();
    EXPECT_EQ(serverGeometry(window).size(), QSize(350, 150));
    ASSERT_TRUE(
        waitUntil([&] { return desk.settings->savedFrame() == QRect(520, 440, 350, 150); }, 5s));
}

TEST_F(OverlayWindow, doubleClickCopiesAndTheContextMenuCopiesAndDeletes) {
    Desk desk;
    desk.f.state->preferences()->setTargetLanguage("es-ES");
    desk.f.state->addConfirmedLine("Only line here");
    const QUuid id = desk.f.state->transcript()->confirmedLines().at(0).id;
    desk.f.state->setTranslation("Única línea", id);
    QQuickWindow *window = desk.show();
    QQuickItem *text = nullptr;
    ASSERT_TRUE(waitUntil([&] { return shown(text = itemNamed(window, "lineText")); }));
    const QPoint onLine = globalCentre(text);
    pointer(onLine, {"click", "--repeat", "2", "--delay", "80", "1"});
    ASSERT_TRUE(waitUntil([&] { return desk.f.clipboard->text == "Only line here"; }, 5s));
    EXPECT_FALSE(desk.controller->viewModel()->copiedLineId().isEmpty());

    // The line's menu: its item, once it is on screen, clicked.
    const auto choose = [&](const char *name) {
        pointer(onLine, {"click", "3"});
        QQuickItem *item = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] { return shown(item = itemNamed(window, name)) && item->height() > 0; }, 5s));
        click(globalCentre(item));
    };
    choose("menuCopyTranslation");
    ASSERT_TRUE(waitUntil([&] { return desk.f.clipboard->text == "Única línea"; }, 5s));
    choose("menuDelete");
    ASSERT_TRUE(waitUntil([&] { return desk.f.state->transcript()->lineCount() == 0; }, 5s));
    EXPECT_TRUE(desk.f.state->transcript()->translations().isEmpty());

    // Both sides of a call: each card names its side, in that side's colour.
    desk.f.state->addConfirmedLine("Shall we start?", "Me");
    desk.f.state->addConfirmedLine("Yes.", "Others");
    QMap<QString, QColor> colours;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (QQuickItem *label : itemsNamed(window, "lineSpeaker"))
                if (shown(label))
                    colours[label->property("text").toString()] =
                        label->property("color").value<QColor>();
            return colours.size() == 2;
        },
        5s));
    EXPECT_EQ(colours.keys(), (QStringList{"Me", "Others"}));
    EXPECT_NE(colours["Me"], colours["Others"]);
}

TEST_F(OverlayWindow, neverTakesTheFocusUnlessItsSearchFieldIsUsedAndLetsClicksThroughWhenHidden) {
    PressCounter below;
    below.setGeometry(0, 0, 1440, 900);
    below.show();
    ASSERT_TRUE(waitUntil([&] { return below.isExposed(); }, 10s));
    below.requestActivate();
    const auto otherId = static_cast<xcb_window_t>(below.winId());
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == otherId; }, 5s));

    Desk desk;
    for (int i = 1; i <= 4; ++i)
        desk.f.state->addConfirmedLine(QString("Focus line %1").arg(i));
    QQuickWindow *window = desk.show();
    spin(200ms);
    EXPECT_EQ(inputFocus(), otherId) << "showing the overlay took the focus";

    // Clicks on the header, a line and the footer leave the focus where it is.
    const QRect frame = serverGeometry(window);
    click(frame.topLeft() + QPoint(100, 8));
    click(frame.topLeft() + QPoint(300, 150));
    click(frame.bottomLeft() + QPoint(300, -10));
    spin(200ms);
    EXPECT_EQ(inputFocus(), otherId) << "a click into the overlay took the focus";
    EXPECT_EQ(below.presses, 0) << "the shown overlay takes its own clicks";

    auto *field = window->findChild<QQuickItem *>("searchField");
    ASSERT_TRUE(field);
    ASSERT_TRUE(field->isVisible());
    click(globalCentre(field));
    const auto overlayId = static_cast<xcb_window_t>(window->winId());
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == overlayId; }, 5s));
    xdotool({"type", "line 3"});
    ASSERT_TRUE(
        waitUntil([&] { return desk.controller->viewModel()->searchQuery() == "line 3"; }, 5s));
    EXPECT_EQ(desk.controller->viewModel()->resultCount(), 1);
    xdotool({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == otherId; }, 5s));
    EXPECT_FALSE(desk.controller->searchInputActive());
    click(frame.topLeft() + QPoint(300, 150));
    spin(200ms);
    EXPECT_EQ(inputFocus(), otherId);
    EXPECT_EQ(below.presses, 0);

    // Auto-hidden, the overlay lets clicks through; pinning follows the setting.
    desk.settings->setAutoHideDelay(0.2);
    desk.settings->setAutoHideEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return desk.controller->backgroundHidden(); }, 5s));
    spin(100ms);
    click(frame.center());
    ASSERT_TRUE(waitUntil([&] { return below.presses == 1; }, 5s))
        << "an invisible overlay must not swallow clicks";
    desk.f.state->setInterimText("Back");
    EXPECT_FALSE(desk.controller->backgroundHidden());
    EXPECT_FALSE(window->flags().testFlag(Qt::WindowTransparentForInput));

    EXPECT_TRUE(window->flags().testFlag(Qt::WindowStaysOnTopHint));
    desk.settings->setPinned(false);
    EXPECT_FALSE(window->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->isVisible());
    desk.settings->setPinned(true);
    EXPECT_TRUE(window->flags().testFlag(Qt::WindowStaysOnTopHint));
}

// Without the compositor's blur: firstFrameSavedFramesAndTheSizeRule.
TEST_F(OverlayWindow, blurBehindWhereTheCompositorOffersIt) {
    // A compositor that blurs announces the region property on the root window.
    xTool("xprop", {"-root", "-f", "_NET_SUPPORTED", "32a", "-set", "_NET_SUPPORTED", blur});
    {
        Desk desk;
        desk.f.state->addConfirmedLine("Blurred");
        QQuickWindow *window = desk.show();
        EXPECT_TRUE(desk.controller->blurBehind());
        EXPECT_TRUE(xprop(window, blur).contains("CARDINAL")) << xprop(window, blur).toStdString();
        desk.controller->updateBackgroundHidden(true);
        spin(100ms);
        EXPECT_FALSE(xprop(window, blur).contains("CARDINAL")) << "a hidden overlay blurs nothing";
    }
    xTool("xprop", {"-root", "-remove", "_NET_SUPPORTED"});
}
