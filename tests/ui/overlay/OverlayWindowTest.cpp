#include "AppTestSupport.h"
#include "WindowTestSupport.h"

#include <OrvintaPlatform/X11OverlayWindowPlatform.h>
#include <OrvintaUi/CaptionStyle.h>
#include <OrvintaUi/MenuBarViewModel.h>
#include <OrvintaUi/OverlaySettings.h>
#include <OrvintaUi/OverlayViewModel.h>
#include <OrvintaUi/OverlayWindowController.h>
#include <OrvintaUi/PanelWindows.h>

#include <QGuiApplication>
#include <QMetaEnum>
#include <QMouseEvent>
#include <QPainter>
#include <QQmlEngine>
#include <QRasterWindow>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
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

/// Presses the left button at `from`, moves to `to` in `steps` equal steps and lets go.
void drag(QPoint from, QPoint to, int steps = 1) {
    pointer(from, {"mousedown", "1"});
    for (int step = 1; step <= steps; ++step)
        pointer(from + (to - from) * step / steps);
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
    /// The overlay, shown after `lines` are confirmed; a test without one fails.
    QQuickWindow *show(const QStringList &lines = {}) {
        for (const QString &line : lines)
            f.state->addConfirmedLine(line);
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

/// A window over the whole screen that holds the keyboard focus and counts
/// the clicks that reach it; a test where it cannot fails.
class FocusedWindow : public QRasterWindow {
public:
    FocusedWindow() {
        setGeometry(0, 0, 1440, 900);
        show();
        waitUntil([&] { return isExposed(); }, 10s);
        requestActivate();
        if (!waitUntil([&] { return inputFocus() == winId(); }, 5s))
            throw std::runtime_error("the window below did not get the focus");
    }
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
};

// The windows meet a screen reader's accessibility bus, as they would under Orca.
[[maybe_unused]] const ::testing::Environment *const accessibilityBus =
    ::testing::AddGlobalTestEnvironment(new AccessibilityBus);
/// A desktop of one colour behind every window, under a compositor that
/// lays translucent windows over it as a user's desktop does.
class CompositedDesktop : public QRasterWindow {
public:
    CompositedDesktop() {
        const QString xcompmgr = QStandardPaths::findExecutable("xcompmgr");
        if (!xcompmgr.isEmpty()) {
            m_compositor.start(xcompmgr, {});
            m_compositor.waitForStarted(5000);
        }
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        show();
        waitUntil([&] { return isExposed(); }, std::chrono::seconds(10));
    }
    ~CompositedDesktop() override {
        m_compositor.terminate();
        m_compositor.waitForFinished(5000);
    }
    bool composited() const { return m_compositor.state() == QProcess::Running; }
    void paintWith(const QColor &color) {
        m_color = color;
        update();
        spin(std::chrono::milliseconds(200));
    }
    /// The screen as the user sees it where `item` is.
    static QImage seen(QQuickItem *item) {
        const QRect area =
            QRectF(item->mapToGlobal(QPointF(0, 0)), QSizeF(item->width(), item->height()))
                .toAlignedRect();
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), m_color);
    }

private:
    QProcess m_compositor;
    QColor m_color = Qt::white;
};

const QStringList focusLines = {"Focus line 1", "Focus line 2", "Focus line 3", "Focus line 4"};

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

        // Docked, it spans the screen's edge and keeps that strip for itself;
        // floating again, it is back where it was and keeps nothing.
        desk.settings->setPlacement(OverlaySettings::Placement::DockedBottom);
        ASSERT_TRUE(waitUntil([&] { return serverGeometry(window) == QRect(0, 620, 1440, 280); }))
            << serverGeometry(window).y();
        EXPECT_TRUE(xprop(window, "_NET_WM_STRUT_PARTIAL")
                        .contains("= 0, 0, 0, 280, 0, 0, 0, 0, 0, 0, 0, 1439"))
            << xprop(window, "_NET_WM_STRUT_PARTIAL").toStdString();
        desk.settings->setPlacement(OverlaySettings::Placement::DockedTop);
        ASSERT_TRUE(waitUntil([&] { return serverGeometry(window) == QRect(0, 0, 1440, 280); }));
        EXPECT_TRUE(xprop(window, "_NET_WM_STRUT_PARTIAL")
                        .contains("= 0, 0, 280, 0, 0, 0, 0, 0, 0, 1439, 0, 0"));
        desk.settings->setPlacement(OverlaySettings::Placement::Floating);
        ASSERT_TRUE(waitUntil([&] { return serverGeometry(window) == QRect(420, 540, 600, 280); }));
        EXPECT_FALSE(xprop(window, "_NET_WM_STRUT_PARTIAL").contains("CARDINAL"));
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
    drag(start, start + QPoint(500, 0), 5);
    ASSERT_TRUE(waitUntil([&] { return serverGeometry(window).width() == 300; }, 5s))
        << serverGeometry(window).width();
    EXPECT_EQ(serverGeometry(window), QRect(720, 540, 300, 280));

    auto *right = window->findChild<QQuickItem *>("bottomRightHandle");
    ASSERT_TRUE(right);
    const QPoint corner = globalCentre(right);
    drag(corner, corner + QPoint(50, -300));
    ASSERT_TRUE(waitUntil([&] { return serverGeometry(window).height() == 150; }, 5s));
    EXPECT_EQ(serverGeometry(window), QRect(720, 540, 350, 150));

    // Dragging the header moves the window (by following the pointer where no
    // window manager moves it), and the new frame is saved.
    const QPoint header = serverGeometry(window).topLeft() + QPoint(60, 8);
    drag(header, header - QPoint(200, 100), 2);
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
    FocusedWindow below;
    const WId otherId = below.winId();
    Desk desk;
    QQuickWindow *window = desk.show(focusLines);
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
    EXPECT_FALSE(desk.controller->keyboardActive());
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
}

// Measured from the screen: the text against what it sits on, as the
// compositor lays the overlay over a white and a black desktop.
TEST_F(OverlayWindow, captionsStayLegibleOverWhiteAndBlackDesktopsInBothThemesAtAnyOpacity) {
    CompositedDesktop desktop;
    if (!desktop.composited())
        GTEST_SKIP() << "needs xcompmgr (Debian package xcompmgr; scripts/deps.sh)";
    Desk desk;
    const QString line = "Legible captions for everyone";
    QQuickWindow *window = desk.show({line});
    desk.f.state->setInterimText("still speaking");
    ASSERT_TRUE(waitUntil(
        [&] { return desk.controller->viewModel()->displayedInterim() == "still speaking"; }, 5s));
    const std::pair<const char *, double> texts[] = {{"lineText", 7.0},
                                                     {"interimText", 4.5},
                                                     {"lineTime", 4.5},
                                                     {"countsText", 4.5},
                                                     {"idleText", 4.5}};
    const auto shownItem = [&](const char *name) {
        for (QQuickItem *item : itemsNamed(window, name))
            if (item->isVisible())
                return item;
        return static_cast<QQuickItem *>(nullptr);
    };
    const QPalette original = QGuiApplication::palette();
    using Preset = OverlaySettings::Preset;
    // The defaults, and the window and the captions' backdrop as faint as
    // the settings let them be (the backdrop stops at its legible least).
    const std::pair<double, double> opacities[] = {
        {OverlaySettings::defaultOpacity, OverlaySettings::defaultBackgroundOpacity}, {0.1, 0.0}};
    for (const bool dark : {false, true}) {
        QGuiApplication::setPalette(themePalette(dark));
        for (const Preset preset :
             {Preset::Default, Preset::HighContrast, Preset::WhiteOnBlack, Preset::BlackOnWhite}) {
            desk.settings->setPreset(preset);
            for (const auto &[opacity, backdrop] : opacities) {
                desk.settings->setOpacity(opacity);
                desk.settings->setBackgroundOpacity(backdrop);
                for (const QColor &behind : {QColor(Qt::white), QColor(Qt::black)}) {
                    desktop.paintWith(behind);
                    QString measured = QString::asprintf(
                        "%s, %s, window %d%%, backdrop %d%%, over %s:",
                        QMetaEnum::fromType<Preset>().valueToKey(int(preset)),
                        dark ? "dark" : "light", qRound(opacity * 100),
                        qRound(desk.controller->viewModel()->style()->backgroundOpacity() * 100),
                        behind == Qt::white ? "white" : "black");
                    const auto note = [&](const char *name, double ratio, double least) {
                        EXPECT_GE(ratio, least) << measured.toStdString() << " " << name;
                        measured += QString::asprintf(" %s %.1f", name, ratio);
                    };
                    for (const auto &[name, least] : texts) {
                        QQuickItem *item = shownItem(name);
                        ASSERT_TRUE(item) << name;
                        note(name, measuredContrast(CompositedDesktop::seen(item)), least);
                    }
                    // A search that marks the whole line: the mark's colours
                    // where its words are.
                    desk.controller->viewModel()->setSearchQuery(line);
                    spin(200ms);
                    QQuickItem *marked = shownItem("lineText");
                    ASSERT_TRUE(marked);
                    note(
                        "searchMark",
                        measuredContrast(CompositedDesktop::seen(marked).copy(
                            0, 0, marked->property("contentWidth").toInt(), int(marked->height()))),
                        7.0);
                    desk.controller->viewModel()->setSearchQuery("");
                    std::printf("%s\n", qPrintable(measured));
                }
            }
        }
    }
    QGuiApplication::setPalette(original);
}

// Without the compositor's blur: firstFrameSavedFramesAndTheSizeRule.
TEST_F(OverlayWindow, blurBehindWhereTheCompositorOffersIt) {
    // A compositor that blurs announces the region property on the root window.
    xTool("xprop", {"-root", "-f", "_NET_SUPPORTED", "32a", "-set", "_NET_SUPPORTED", blur});
    {
        Desk desk;
        QQuickWindow *window = desk.show({"Blurred"});
        EXPECT_TRUE(desk.controller->blurBehind());
        EXPECT_TRUE(xprop(window, blur).contains("CARDINAL")) << xprop(window, blur).toStdString();
        desk.controller->updateBackgroundHidden(true);
        spin(100ms);
        EXPECT_FALSE(xprop(window, blur).contains("CARDINAL")) << "a hidden overlay blurs nothing";
    }
    xTool("xprop", {"-root", "-remove", "_NET_SUPPORTED"});
}

TEST_F(OverlayWindow, theFocusShortcutBringsTheKeyboardToTheNewestLineAndEscapeGivesItBack) {
    FocusedWindow below;
    const WId otherId = below.winId();
    Desk desk;
    QQuickWindow *window = desk.show(focusLines);
    const auto overlayId = static_cast<xcb_window_t>(window->winId());
    const auto press = [&](const QString &keys) {
        xdotool({"key", "--clearmodifiers", keys});
        spin(50ms);
        return focusedName(window);
    };

    // What the "Focus captions" shortcut runs: the newest line has the keyboard.
    desk.f.state->focusCaptions();
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == overlayId; }, 5s));
    ASSERT_TRUE(waitUntil([&] { return focusedName(window) == "Focus line 4"; }, 5s));
    EXPECT_TRUE(desk.controller->keyboardActive());
    EXPECT_EQ(press("Up"), "Focus line 3");
    const auto card = [&](const QString &text) {
        const QList<QQuickItem *> cards = itemsNamed(window, "lineCard");
        return *std::find_if(cards.begin(), cards.end(),
                             [&](QQuickItem *item) { return item->property("text") == text; });
    };
    EXPECT_TRUE(card("Focus line 3")->property("selected").toBool()) << "shows its buttons";
    press("ctrl+c");
    EXPECT_EQ(desk.f.clipboard->text, "Focus line 3");
    EXPECT_TRUE(card("Focus line 3")->property("showCopied").toBool());

    // Delete, and the undo notice is the next stop of Tab; Enter puts the line back.
    EXPECT_EQ(press("Delete"), "Focus line 4");
    EXPECT_EQ(desk.f.state->transcript()->lineCount(), 3);
    EXPECT_TRUE(shown(itemNamed(window, "undoNotice")));
    EXPECT_EQ(press("Tab"), QString::fromUtf8("Line deleted — Undo"));
    EXPECT_EQ(press("Return"), "Focus line 3");
    EXPECT_EQ(desk.f.state->transcript()->lineCount(), 4);
    EXPECT_FALSE(shown(itemNamed(window, "undoNotice")));

    // Tab goes round every control, each at least 24 × 24 with its ring.
    for (const char *stop :
         {"Start recording", "Hide overlay", "Search transcripts", "Focus line 3"}) {
        ASSERT_EQ(press("Tab"), QString::fromUtf8(stop));
        QQuickItem *item = window->activeFocusItem();
        EXPECT_GE(item->width(), 24) << stop;
        EXPECT_GE(item->height(), 24) << stop;
    }

    // The Menu key opens the line's menu; Escape closes it and the line keeps the keyboard.
    press("Menu");
    ASSERT_TRUE(waitUntil([&] { return shown(itemNamed(window, "menuCopy")); }, 5s));
    press("Escape");
    EXPECT_TRUE(waitUntil([&] { return !shown(itemNamed(window, "menuCopy")); }, 5s));
    EXPECT_EQ(focusedName(window), "Focus line 3");

    // / searches; Escape there gives the keyboard back to the window that had it.
    EXPECT_EQ(press("slash"), "Search transcripts");
    xdotool({"type", "line 2"});
    ASSERT_TRUE(
        waitUntil([&] { return desk.controller->viewModel()->searchQuery() == "line 2"; }, 5s));
    press("Escape");
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == otherId; }, 5s));
    EXPECT_FALSE(desk.controller->keyboardActive());

    // And Escape in the list does the same; the search cleared, every line is itself again.
    desk.controller->viewModel()->setSearchQuery("");
    desk.f.state->focusCaptions();
    ASSERT_TRUE(waitUntil([&] { return focusedName(window) == "Focus line 4"; }, 5s));
    press("Escape");
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == otherId; }, 5s));
    EXPECT_EQ(desk.controller->viewModel()->selectedRow(), -1);

    // Compact captions list no lines: the keyboard reaches the window, and Escape leaves.
    desk.settings->setCompact(true);
    desk.f.state->focusCaptions();
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == overlayId; }, 5s));
    spin(100ms);
    press("Escape");
    ASSERT_TRUE(waitUntil([&] { return inputFocus() == otherId; }, 5s));
    EXPECT_EQ(below.presses, 0);
}

TEST_F(OverlayWindow, screenReadersFindTheTranscriptAsAListHearNewLinesAndNoTickingClock) {
    AccessibilityEvents events;
    Desk desk;
    QQuickWindow *window = desk.show({"First line", "Second line"});

    // The transcript is a list of its lines.
    const QList<QAccessibleInterface *> tree = accessibleTree(window);
    const auto list = std::find_if(tree.begin(), tree.end(), [](QAccessibleInterface *node) {
        return node->role() == QAccessible::List;
    });
    ASSERT_NE(list, tree.end());
    EXPECT_EQ((*list)->text(QAccessible::Name), "Transcript");
    QStringList items;
    for (int i = 0; i < (*list)->childCount(); ++i)
        if ((*list)->child(i)->role() == QAccessible::ListItem)
            items << (*list)->child(i)->text(QAccessible::Name);
    EXPECT_EQ(items, QStringList({"First line", "Second line"}));

    if (!waitUntil([] { return QAccessible::isActive(); }, 5s))
        GTEST_SKIP() << "no AT-SPI bus: the announcement needs one";
    QObject *announcer = itemNamed(window, "captionAnnouncer");
    ASSERT_TRUE(announcer);
    const auto heard = [&](QAccessible::Event type) {
        QStringList texts;
        for (const auto &event : events.of(type, announcer))
            texts << event.text;
        return texts;
    };

    // Reading aloud off: a new line is a new row, and nothing is announced.
    events.events.clear();
    desk.f.state->addConfirmedLine("Third line");
    spin(100ms);
    EXPECT_TRUE(heard(QAccessible::TextUpdated).isEmpty());
    for (const auto &event : events.of(QAccessible::NameChanged))
        EXPECT_NE(accessibleName(event.object), "First line") << "a row was renamed";

    // On: the line's text and value change on the focusable live text.
    desk.settings->setReadAloud(true);
    desk.f.state->addConfirmedLine("Fourth line");
    spin(100ms);
    EXPECT_EQ(heard(QAccessible::TextUpdated), QStringList{"Fourth line"});
    EXPECT_EQ(heard(QAccessible::ValueChanged), QStringList{"Fourth line"});
    QAccessibleInterface *live = QAccessible::queryAccessibleInterface(announcer);
    EXPECT_EQ(live->role(), QAccessible::Notification);
    EXPECT_TRUE(live->state().focusable);
    EXPECT_EQ(live->text(QAccessible::Name), "Fourth line");
    ASSERT_TRUE(live->valueInterface());
    EXPECT_EQ(live->valueInterface()->currentValue().toString(), "Fourth line");

    // The panel's recording clock ticks on screen without renaming anything;
    // the activity is said by the minute.
    QQmlEngine engine;
    MenuBarViewModel model(*desk.f.state);
    MenuBarPanel panel(model, engine, MenuBarPanel::Mode::window);
    panel.showWindow();
    ASSERT_TRUE(waitUntil([&] { return panel.window()->isExposed(); }));
    desk.f.toggleListening();
    ASSERT_TRUE(waitUntil([&] { return shown(itemSaying(panel.window(), "0:00")); }));
    events.events.clear();
    ASSERT_TRUE(waitUntil([&] { return shown(itemSaying(panel.window(), "0:01")); }, 5s));
    spin(100ms);
    EXPECT_TRUE(events.of(QAccessible::NameChanged).empty())
        << accessibleName(events.of(QAccessible::NameChanged).front().object).toStdString();
    EXPECT_EQ(model.status()->spokenText(), "Listening");
}
