#include "TestFeedServer.h"

#include <OrvintaUpdates/AppVersion.h>
#include <OrvintaUpdates/Appcast.h>
#include <OrvintaUpdates/NotesHtml.h>
#include <OrvintaUpdates/ReleaseNotes.h>
#include <OrvintaUpdates/WhatsNewModel.h>

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>

using namespace Orvinta;
using Orvinta::Testing::writeFile;

namespace {

const QString notes13 = "<h3>New in 1.3</h3><ul><li>Faster</li></ul>";

/// A preferences file and a bundled feed of releases, as a program sees
/// them from one launch to the next.
struct Installation {
    QTemporaryDir folder;
    QString appcastPath = folder.filePath("appcast.xml");
    std::shared_ptr<PreferencesStore> store = reopen();

    Installation() {
        QByteArray xml = OrvintaTest::appcastXml({{"1.2", "<p>Old notes</p>"},
                                                  {"1.3", "\n   " + notes13 + "\n  "},
                                                  {"1.4", ""},
                                                  {" 1.5", "<p>Spaced</p>"}});
        xml.replace("</channel>", "<item><sparkle:shortVersionString>1.6</"
                                  "sparkle:shortVersionString><description>  </description>"
                                  "</item></channel>");
        write(xml);
    }
    void write(const QByteArray &xml) { EXPECT_TRUE(writeFile(appcastPath, xml)); }
    std::shared_ptr<PreferencesStore> reopen() {
        return std::make_shared<PreferencesStore>(folder.filePath("Orvinta.conf"));
    }
    /// One launch of the program at `version`: the notes its start-up shows.
    std::optional<QString> launch(const QString &version) {
        store = reopen();
        return ReleaseNotes(store, version, appcastPath).takeNotesToShow();
    }
    std::optional<QString> lastSeen() const {
        return store->stringValue(ReleaseNotes::lastSeenVersionKey);
    }
};

/// The deepest nesting of elements and their number in sanitised notes.
struct Shape {
    int depth = 0;
    int elements = 0;
};
Shape shapeOf(const QString &html) {
    static const QRegularExpression tag("<(/?)([a-zA-Z][a-zA-Z0-9]*)[^>]*>");
    Shape shape;
    int open = 0;
    for (auto it = tag.globalMatch(html); it.hasNext();) {
        const auto match = it.next();
        const QString element = match.captured(2).toLower();
        if (!match.captured(1).isEmpty()) {
            --open;
            continue;
        }
        ++shape.elements;
        if (element != "br" && element != "hr")
            shape.depth = std::max(shape.depth, ++open);
    }
    return shape;
}

/// A document that records every resource it is asked to load.
class RecordingDocument : public QTextDocument {
public:
    QList<QUrl> requested;

protected:
    QVariant loadResource(int type, const QUrl &name) override {
        requested.append(name);
        return QTextDocument::loadResource(type, name);
    }
};

/// Sanitises `html` and renders it as the window does: none of `gone` is left
/// in either, the words show each of `shown`, and laying it out fetches nothing.
QString expectSanitized(const QString &html, std::initializer_list<const char *> gone,
                        std::initializer_list<const char *> shown) {
    const QString clean = NotesHtml::sanitize(html);
    for (const char *piece : gone)
        EXPECT_FALSE(clean.contains(piece)) << piece << " in " << clean.toStdString();
    if (::testing::Test::HasFailure())
        return clean; // laying out what is left could take minutes
    RecordingDocument rendered;
    rendered.setTextWidth(400);
    rendered.setHtml(NotesHtml::document(html));
    rendered.size(); // lays out the whole document
    const QString text = rendered.toPlainText();
    for (const char *piece : gone)
        EXPECT_FALSE(text.contains(piece)) << piece << " shown: " << text.toStdString();
    for (const char *piece : shown)
        EXPECT_TRUE(text.contains(piece)) << piece << " not shown: " << text.toStdString();
    for (const QUrl &url : rendered.requested)
        ADD_FAILURE() << "fetched " << url.toString().toStdString();
    return clean;
}

} // namespace

TEST(ReleaseNotesTest, NotesShowOnceAfterAnUpgradeThatHasThemAndAreNotReplacedWhileShown) {
    // Launches in turn ("+": this one shows notes13), and the version recorded after each.
    const std::vector<std::pair<QStringList, QStringList>> runs{
        // The first launch records its version and shows nothing.
        {{"1.3", "1.3"}, {"1.3", "1.3"}},
        {{"1.2", "1.3+", "1.3"}, {"1.2", "1.3", "1.3"}},
        // Going back to an older release shows nothing, nor does coming forward again.
        {{"1.3", "1.2", "1.3"}, {"1.3", "1.3", "1.3"}},
        // No description, an empty one, no item, an item whose version matches
        // only untrimmed (" 1.5"): nothing, the old version kept; later notes still show.
        {{"1.2", "1.4", "1.6", "1.7", "1.5", "1.3+"}, {"1.2", "1.2", "1.2", "1.2", "1.2", "1.3"}}};
    for (const auto &[launches, recorded] : runs) {
        Installation installation;
        for (qsizetype i = 0; i < launches.size(); ++i) {
            QString version = launches[i];
            const bool showsNotes = version.endsWith('+');
            version.remove('+');
            EXPECT_EQ(installation.launch(version),
                      showsNotes ? std::optional(notes13) : std::nullopt)
                << launches.join(' ').toStdString() << " at " << i;
            EXPECT_EQ(installation.lastSeen(), recorded[i]) << launches.join(' ').toStdString();
        }
    }

    Installation installation;
    ReleaseNotes notes(installation.store, "1.5", installation.appcastPath);
    EXPECT_EQ(notes.releaseNotesHTML(" 1.5"), "<p>Spaced</p>");
    EXPECT_EQ(notes.releaseNotesHTML("1.3 "), std::nullopt);
    // A program that does not know its version records nothing.
    EXPECT_FALSE(ReleaseNotes(installation.store, std::nullopt, installation.appcastPath)
                     .shouldShowWhatsNew());
    EXPECT_EQ(installation.lastSeen(), std::nullopt);

    // The start-up job through the window's model.
    installation.store->setString(ReleaseNotes::lastSeenVersionKey, "1.2");
    WhatsNewModel window;
    ReleaseNotes launch(installation.store, "1.3", installation.appcastPath);
    EXPECT_TRUE(window.showNotesIfNew(launch));
    EXPECT_EQ(window.title(), "What's New in 1.3");
    window.dismiss();
    ReleaseNotes relaunch(installation.reopen(), "1.3", installation.appcastPath);
    EXPECT_FALSE(window.showNotesIfNew(relaunch));
    EXPECT_FALSE(window.isVisible());

    // Showing while visible raises the window without replacing the notes.
    QSignalSpy raised(&window, &WhatsNewModel::raiseRequested);
    window.show("1.3", notes13);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.html().contains("<li>Faster</li>"));
    EXPECT_EQ(raised.count(), 1);

    window.show("1.4", "<p>Other</p>");
    EXPECT_EQ(raised.count(), 2);
    EXPECT_EQ(window.version(), "1.3");
    EXPECT_TRUE(window.html().contains("<li>Faster</li>"));
    EXPECT_FALSE(window.html().contains("Other"));

    window.dismiss();
    window.show("1.4", "<p>Other</p><script>x()</script>");
    EXPECT_TRUE(window.html().contains("Other"));
    EXPECT_FALSE(window.html().contains("script"));
}

TEST(ReleaseNotesTest, AMissingOrBrokenFeedShowsNothingButTheBundledOneHasNotesForThisVersion) {
    Installation installation;
    installation.launch("1.2");
    installation.write(OrvintaTest::appcastXml({{"1.3", notes13}}).left(200));
    EXPECT_EQ(installation.launch("1.3"), std::nullopt);
    QFile::remove(installation.appcastPath);
    EXPECT_EQ(installation.launch("1.3"), std::nullopt);
    EXPECT_EQ(installation.lastSeen(), "1.2");

    // The bundled feed has notes for this version.
    installation.store->setString(ReleaseNotes::lastSeenVersionKey, "0.0.1");
    EXPECT_TRUE(ReleaseNotes(installation.store).takeNotesToShow().value_or("").contains("<li>"));
    EXPECT_EQ(installation.lastSeen(), AppVersion::shortVersion());
}

TEST(NotesHtmlTest, ScriptsAndOtherActiveContentHaveNoEffect) {
    const QString hostile =
        "<h3>New</h3><script>document.write('INJECTED')</script>"
        "<SCRIPT type=\"text/javascript\">alert('UPPER')</SCRIPT>"
        "<p onclick=\"steal()\" onmouseover=\"steal()\">Hi "
        "<a href=\"javascript:alert(1)\">bad</a> <a href=\" JavaScript:alert(2)\">bad2</a> "
        "<a href=\"https://orvinta.app/\">site</a> <a href=\"mailto:support@orvinta.app\">mail</a>"
        "</p><iframe src=\"https://x.example\"></iframe><style>body { display: none }</style>"
        "<object data=\"x.swf\"></object><!-- comment --><p>End</p><script>unterminated('TAIL')";
    // What would fetch (pictures, backgrounds, styles): NothingInTheNotesIsFetched.
    const QString clean = expectSanitized(hostile,
                                          {"script", "SCRIPT", "INJECTED", "UPPER", "TAIL",
                                           "onclick", "onmouseover", "javascript", "JavaScript",
                                           "alert", "iframe", "display", "object", "comment"},
                                          {"New", "Hi", "End"});
    for (const char *kept : {"<h3>New</h3>", "https://orvinta.app/", "mailto:support@orvinta.app"})
        EXPECT_TRUE(clean.contains(kept)) << kept << " missing in " << clean.toStdString();
}

TEST(NotesHtmlTest, TheStyleSheetReachesQtRichText) {
    const QString fragment = "<h3>Heading</h3><ul><li>Item</li></ul>";
    const QString document = NotesHtml::document(fragment);

    const auto formatOf = [](const QString &html, const QString &text) {
        QTextDocument rendered;
        rendered.setHtml(html);
        for (QTextBlock block = rendered.begin(); block.isValid(); block = block.next())
            if (block.text() == text)
                return block.begin().fragment().charFormat();
        ADD_FAILURE() << text.toStdString() << " not rendered";
        return QTextCharFormat();
    };
    EXPECT_TRUE(formatOf(document, "Heading").font().bold());
    EXPECT_EQ(formatOf(document, "Item").foreground().color(), QColor("#333"));
    const QString dark = NotesHtml::document(fragment, NotesHtml::ColorScheme::dark);
    EXPECT_EQ(formatOf(dark, "Item").foreground().color(), QColor("#e0e0e0"));
}

TEST(NotesHtmlTest, HostileLayoutIsBoundedAndLaysOutQuickly) {
    const QString flatTable =
        "<table>" + ("<tr>" + QString("<td>1</td>").repeated(50) + "</tr>").repeated(2000) +
        "</table>";
    ASSERT_LT(flatTable.size(), maxAppcastBytes);
    const std::vector<std::tuple<const char *, QString, const char *>> hostile{
        {"nested tables",
         QString("<table><tr><td>").repeated(20) + "deep" +
             QString("</td></tr></table>").repeated(20),
         "deep"},
        {"flat table", flatTable, "1"},
        {"nested lists", QString("<ul><li>x").repeated(3000), "x"},
        // The parser gives up far below these depths: no words need be shown.
        {"nested quotes", QString("<blockquote>").repeated(20000) + "deep", ""},
        {"nested emphasis", QString("<b><i>").repeated(50000) + "deep", ""},
        {"many paragraphs", QString("<p>paragraph</p>").repeated(60000), "paragraph"},
        {"many breaks", QString("<br>").repeated(200000) + "end", "end"},
    };
    for (const auto &[what, html, word] : hostile) {
        SCOPED_TRACE(what);
        QElapsedTimer timer;
        timer.start();
        const Shape shape = shapeOf(expectSanitized(html, {"<table", "<tr", "<td", "<th"}, {word}));
        EXPECT_LT(timer.elapsed(), 2000);
        EXPECT_LE(shape.depth, NotesHtml::maxDepth);
        EXPECT_LE(shape.elements, NotesHtml::maxElements);
    }
    // The words of a table survive as paragraphs.
    expectSanitized(
        "<table><tr><th>Key</th><th>Action</th></tr><tr><td>F5</td><td>Start</td></tr></table>",
        {"<table", "<td"}, {"F5", "Start", "Action"});
}

TEST(NotesHtmlTest, NothingInTheNotesIsFetchedHoweverItIsEscaped) {
    const QString remote = "https://tracker.example/pixel.png";
    QString hostile;
    for (const QString &call :
         {"url(" + remote + ")", "u\\72l(" + remote + ")", "\\75rl(" + remote + ")",
          "\\000075\\000072\\00006c(" + remote + ")", "U\\52L('" + remote + "')"}) {
        hostile += "<p style=\"background-image: " + call + "\">Styled</p>";
        hostile += "<table background=\"" + remote + "\"><tr><td style=\"background: " + call +
                   "\">cell</td></tr></table>";
        hostile += "<style>p { background-image: " + call + " }</style>";
    }
    hostile += "<img src=\"" + remote + "\"><img src=\"data:image/png;base64,iVBORw0KGgo=\">";
    expectSanitized(hostile, {"style", "tracker", "background", "img"}, {"Styled", "cell"});
}
