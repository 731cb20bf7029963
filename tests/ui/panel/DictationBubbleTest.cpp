// The dictation bubble's state and timing, with shortened fades.

#include "AppTestSupport.h"

#include <OrvintaApp/Dictation.h>
#include <OrvintaUi/DictationBubble.h>

#include <QFontMetricsF>
#include <QGuiApplication>

using namespace Orvinta;
using namespace Orvinta::Testing;
using namespace std::chrono_literals;

namespace {

struct BubbleFixture {
    Dictation dictation;
    // Long enough to observe the pause, short enough for the test.
    DictationBubble bubble{dictation, DictationBubble::Timings{40ms, 300ms}};
    QSignalSpy fadeIns{&bubble, &DictationBubble::fadeInRequested};
    QSignalSpy fadeOuts{&bubble, &DictationBubble::fadeOutRequested};
};

} // namespace

TEST(DictationBubble, fadesInAndOutAtOnceOrAfterThePauseAndSitsCentredEightyPixelsUp) {
    BubbleFixture f;
    f.bubble.show();
    QSignalSpy opacity(&f.bubble, &DictationBubble::targetOpacityChanged);
    f.bubble.show();
    EXPECT_EQ(f.fadeIns.count(), 2);
    EXPECT_EQ(opacity.count(), 2); // back to 0, then 1 again
    EXPECT_EQ(f.bubble.targetOpacity(), 1.0);

    f.bubble.hide(false);
    EXPECT_EQ(f.fadeOuts.count(), 1);
    EXPECT_EQ(f.bubble.targetOpacity(), 0.0);
    EXPECT_TRUE(f.bubble.windowVisible()); // still fading
    ASSERT_TRUE(waitUntil([&] { return !f.bubble.windowVisible(); }));

    f.bubble.show();
    f.bubble.hide(true);
    EXPECT_EQ(f.fadeOuts.count(), 1);
    EXPECT_TRUE(f.bubble.fadeOutPending());
    EXPECT_EQ(f.bubble.targetOpacity(), 1.0);
    ASSERT_TRUE(waitUntil([&] { return f.fadeOuts.count() == 2 && !f.bubble.windowVisible(); }));

    // Shown again during the pause: it stays.
    f.bubble.show();
    f.bubble.hide(true);
    f.bubble.show();
    EXPECT_FALSE(f.bubble.fadeOutPending());
    spin(500ms);
    EXPECT_EQ(f.fadeOuts.count(), 2);
    EXPECT_TRUE(f.bubble.windowVisible());
    EXPECT_EQ(f.bubble.targetOpacity(), 1.0);

    // The bubble is placed when it appears and again whenever its content
    // grows, so that a longer text is neither cut off nor off-centre.
    BubbleFixture g;
    QSignalSpy moved(&g.bubble, &DictationBubble::frameChanged);
    g.bubble.show();
    g.bubble.setFittingSize(QSize(300, 82));
    const QRect first = g.bubble.frame();
    g.bubble.setFittingSize(QSize(460, 82));
    const QRect wider = g.bubble.frame();
    EXPECT_EQ(wider.width(), 460);
    EXPECT_EQ(wider.center().x(), first.center().x());
    EXPECT_EQ(wider.bottom(), first.bottom());
    EXPECT_GE(moved.count(), 3);

    const QRect screen(0, 0, 1440, 900);
    // At least 250 × 44; the bottom edge 80 px above the screen's.
    EXPECT_EQ(DictationBubble::frameFor(QSize(100, 30), screen), QRect(595, 776, 250, 44));
    EXPECT_EQ(DictationBubble::frameFor(QSize(400, 82), screen), QRect(520, 738, 400, 82));
    // A second screen to the right.
    EXPECT_EQ(DictationBubble::frameFor(QSize(250, 44), QRect(1440, 0, 1920, 1080)).x(),
              1440 + 835);
}

TEST(DictationBubble, followsTheDictationKeepsTheEndOfLongTextAndStopsItsBarsForReducedMotion) {
    BubbleFixture f;
    Dictation &d = f.dictation;
    EXPECT_FALSE(f.bubble.barsAnimating()); // not on screen
    f.bubble.show();
    EXPECT_TRUE(f.bubble.barsAnimating());
    f.bubble.setReducedMotion(true);
    EXPECT_FALSE(f.bubble.barsAnimating());

    d.setDictationState(DictationState::recording);
    EXPECT_TRUE(f.bubble.windowVisible());
    EXPECT_EQ(f.bubble.content(), DictationBubble::Content::listening);
    EXPECT_EQ(f.bubble.text(), "Listening...");
    d.setDictationInterimText("hello wor");
    EXPECT_EQ(f.bubble.content(), DictationBubble::Content::interim);
    EXPECT_EQ(f.bubble.text(), "hello wor");
    d.setDictationBuffer("Hello world.");
    d.setDictationInterimText("");
    EXPECT_EQ(f.bubble.content(), DictationBubble::Content::buffer);
    d.setDictationState(DictationState::processing);
    EXPECT_EQ(f.bubble.text(), "Processing...");
    d.setDictationState(DictationState::done);
    EXPECT_EQ(f.bubble.text(), "Done");
    // Nothing could paste: the bubble says where the text is, and stays to be read.
    QSignalSpy changed(&f.bubble, &DictationBubble::contentChanged);
    d.setLeftOnClipboard(true);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(f.bubble.contentName(), "copied");
    EXPECT_EQ(f.bubble.text(), QString::fromUtf8("Copied — press Ctrl+V"));
    f.bubble.hide(true);
    spin(500ms);
    EXPECT_EQ(f.fadeOuts.count(), 0);
    d.setLeftOnClipboard(false);

    d.setDictationState(DictationState::recording);
    f.dictation.setDictationInterimText(QString("older words ").repeated(40) + "the newest words");
    const QString shown = f.bubble.text();
    EXPECT_TRUE(shown.endsWith("the newest words")) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(QFontMetricsF(f.bubble.textFont()).horizontalAdvance(shown), 340);
    // In the desktop's font, followed: a larger one cuts the text anew.
    const QFont original = QGuiApplication::font();
    QFont large = original;
    large.setPointSizeF(20);
    QSignalSpy recut(&f.bubble, &DictationBubble::contentChanged);
    QGuiApplication::setFont(large);
    ASSERT_TRUE(waitUntil([&] { return recut.count() > 0; }));
    EXPECT_EQ(f.bubble.textFont().pointSizeF(), 20);
    EXPECT_LT(f.bubble.text().size(), shown.size());
    EXPECT_LE(QFontMetricsF(large).horizontalAdvance(f.bubble.text()), 340);
    QGuiApplication::setFont(original);
    f.dictation.setDictationInterimText("line one\nline two");
    EXPECT_EQ(f.bubble.text(), "line one line two");
}
