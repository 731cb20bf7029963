#include "TestFeedServer.h"

#include <OrvintaUpdates/Appcast.h>
#include <OrvintaUpdates/ReleaseFiles.h>
#include <OrvintaUpdates/Version.h>

using namespace Orvinta;

namespace {

std::optional<int> order(const char *a, const char *b) {
    const auto result = compareVersions(QString::fromUtf8(a), QString::fromUtf8(b));
    if (!result)
        return std::nullopt;
    return *result < 0 ? -1 : *result > 0 ? 1 : 0;
}

QString parseError(const QByteArray &xml) {
    QString error;
    const auto items = parseAppcast(xml, &error);
    EXPECT_FALSE(items.has_value()) << xml.left(200).toStdString();
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(error.contains('\n')) << error.toStdString();
    return error;
}

const QByteArray rssStart = "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
                            "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
                            "sparkle\"><channel>";

} // namespace

TEST(VersionTest, ComparesByNumericPartsAndNeverCallsANonVersionNewer) {
    EXPECT_EQ(order("1.10", "1.9"), 1);
    EXPECT_EQ(order("1.9", "1.10"), -1);
    EXPECT_EQ(order("1.4", "1.4.0"), 0);
    EXPECT_EQ(order("1.4.0.1", "1.4"), 1);
    EXPECT_EQ(order("01.2", "1.2"), 0);
    EXPECT_EQ(order(" 2.0 ", "2.0"), 0);
    EXPECT_EQ(order("2", "1.99.99"), 1);
    // Parts longer than any integer type still compare.
    EXPECT_EQ(order("99999999999999999999999.1", "99999999999999999999998.7"), 1);
    EXPECT_EQ(order("1.0", "99999999999999999999999"), -1);

    for (const char *notAVersion :
         {"", " ", "1..4", ".1", "1.", "1.4-beta", "v1.4", "1,4", "1.4 2", "—", "١.٢", "0x10"}) {
        EXPECT_EQ(order(notAVersion, "1.0"), std::nullopt) << notAVersion;
        EXPECT_FALSE(isNewerVersion(QString::fromUtf8(notAVersion), "0.0.1")) << notAVersion;
        EXPECT_FALSE(isNewerVersion("999.0", QString::fromUtf8(notAVersion))) << notAVersion;
    }
    EXPECT_TRUE(isNewerVersion("0.2.0", "0.1.9"));
    EXPECT_FALSE(isNewerVersion("0.1.0", "0.1.0"));
}

TEST(AppcastTest, ReadsEveryFieldOfAnItemByNamespaceNotPrefix) {
    const QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<rss version=\"2.0\" xmlns:s=\"http://www.andymatuschak.org/xml-namespaces/sparkle\" "
        "xmlns:other=\"urn:other\"><channel><title>Feed</title>\n"
        "<item><title> Orvinta 1.3 </title><pubDate> Sun, 06 Dec 2026 12:00:00 +0100 "
        "</pubDate><s:version>130</s:version>"
        "<s:shortVersionString>1.3</s:shortVersionString>"
        "<s:releaseNotesLink>https://orvinta.app/notes/1.3</s:releaseNotesLink>"
        "<description>\n  <![CDATA[<h3>New</h3><ul><li>Faster</li></ul>]]>\n  </description>"
        "<enclosure url=\"https://orvinta.app/d/1.3.tar.gz\" type=\"application/gzip\"/></item>\n"
        // Versions on the enclosure, the page as a plain link; unnamespaced or
        // foreign shortVersionString elements are not the framework's.
        "<item><title>Old</title><pubDate>yesterday</pubDate>"
        "<shortVersionString>9.9</shortVersionString>"
        "<other:shortVersionString>8.8</other:shortVersionString>"
        "<link>https://orvinta.app/releases/1.2</link>"
        "<enclosure url=\"relative/path.tar.gz\" s:version=\"120\" s:shortVersionString=\"1.2\"/>"
        "</item>\n"
        "<item><s:shortVersionString>1.1</s:shortVersionString><description/></item>\n"
        "</channel></rss>";
    QString error;
    const auto items = parseAppcast(xml, &error);
    ASSERT_TRUE(items) << error.toStdString();
    ASSERT_EQ(items->size(), 3);
    const AppcastItem &first = items->at(0);
    EXPECT_EQ(first.title, "Orvinta 1.3");
    EXPECT_EQ(first.published, QDateTime(QDate(2026, 12, 6), QTime(11, 0), Qt::UTC));
    EXPECT_EQ(first.version, "130");
    EXPECT_EQ(first.shortVersion, "1.3");
    EXPECT_EQ(first.descriptionHtml, "<h3>New</h3><ul><li>Faster</li></ul>");
    EXPECT_TRUE(first.hasDescription);
    EXPECT_EQ(first.releaseNotesLink, QUrl("https://orvinta.app/notes/1.3"));
    EXPECT_EQ(first.downloadPage(), QUrl("https://orvinta.app/d/1.3.tar.gz"));

    const AppcastItem &second = items->at(1);
    EXPECT_EQ(second.version, "120");
    EXPECT_EQ(second.shortVersion, "1.2");
    EXPECT_FALSE(second.hasDescription);
    EXPECT_FALSE(second.published.isValid());
    // A relative address has nothing to be relative to: the item's link stands in.
    EXPECT_EQ(second.downloadPage(), QUrl("https://orvinta.app/releases/1.2"));

    EXPECT_TRUE(items->at(2).hasDescription);
    EXPECT_TRUE(items->at(2).descriptionHtml.isEmpty());
    EXPECT_TRUE(items->at(2).downloadPage().isEmpty());

    EXPECT_EQ(newestItem(*items)->shortVersion, "1.3");
}

TEST(AppcastTest, MalformedOrHostileFeedsFailFastWithOneLineReasonWithoutNetworkOrFiles) {
    EXPECT_TRUE(parseError("").contains("empty"));
    EXPECT_TRUE(parseError(rssStart + "<item><title>cut off").contains("not well-formed"));
    parseError("this is not XML at all");
    parseError(QByteArray("\x00\x01\x02\xff\xfe<rss", 10));
    // Bytes that are not UTF-8 in a document that says it is.
    parseError(rssStart + "<item><title>\xff\xfe\xfd</title></item></channel></rss>");
    parseError(rssStart + "<item></channel></rss>");
    EXPECT_TRUE(parseError("<html><body><h1>502 Bad Gateway</h1></body></html>")
                    .contains("not an RSS document"));
    parseError("<?xml version=\"1.0\"?><rss><channel></channel></rss><rss/>");

    // Exponential entity expansion ("billion laughs").
    QByteArray laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY l0 \"ha\">\n";
    for (int i = 1; i <= 30; ++i)
        laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
                  QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">\n";
    laughs += "]>\n<rss version=\"2.0\"><channel><item><title>&l30;</title>"
              "<description>&l30;</description></item></channel></rss>";
    parseError(laughs);

    // A file of this computer through an external entity.
    const QString xxe = parseError(
        "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
        "<rss version=\"2.0\"><channel><item><title>&x;</title></item></channel></rss>");
    EXPECT_FALSE(xxe.contains("root:"));

    // An external document type on the network is neither fetched nor accepted.
    OrvintaTest::TestFeedServer server(OrvintaTest::TestFeedServer::Scheme::http);
    server.serve("/evil.dtd", OrvintaTest::FeedResponse::feed("<!ENTITY x \"evil\">"));
    parseError("<?xml version=\"1.0\"?><!DOCTYPE rss SYSTEM \"" +
               server.url("/evil.dtd").toEncoded() + "\"><rss version=\"2.0\"><channel/></rss>");
    EXPECT_EQ(server.totalRequests(), 0);

    // Nesting far deeper than any feed.
    parseError(rssStart + QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000) +
               "</channel></rss>");

    // Over the size cap, even when well-formed; just under it, a feed still reads.
    QByteArray big = rssStart;
    const QByteArray oneItem = "<item><sparkle:shortVersionString>1.0</sparkle:shortVersionString>"
                               "<description>notes</description></item>";
    while (big.size() + oneItem.size() + 20 < maxAppcastBytes)
        big += oneItem;
    const auto underCap = parseAppcast(big + "</channel></rss>");
    ASSERT_TRUE(underCap);
    EXPECT_GT(underCap->size(), 1000);
    EXPECT_TRUE(parseError(big + oneItem + oneItem + "</channel></rss>").contains("larger than"));
}

TEST(AppcastTest, DownloadAddressesMustBeHttpsOrThisComputer) {
    const auto feedWith = [](const QByteArray &itemBody) {
        return rssStart + "<item><sparkle:shortVersionString>2.0</sparkle:shortVersionString>" +
               itemBody + "</item></channel></rss>";
    };
    for (const char *address :
         {"file:///home/user/.local/share/applications/evil.desktop", "FILE:///etc/passwd",
          "http://orvinta.app/d/2.0.tar.gz", "ftp://orvinta.app/d/2.0.tar.gz",
          "javascript:alert(1)", "data:text/html,hi", "smb://server/share/evil.desktop",
          "https:///no-host"}) {
        const QByteArray a(address);
        for (const QByteArray &body :
             {"<enclosure url=\"" + a + "\"/>", "<link>" + a + "</link>",
              "<sparkle:releaseNotesLink>" + a + "</sparkle:releaseNotesLink>"}) {
            const QString error = parseError(feedWith(body));
            EXPECT_TRUE(error.contains("HTTPS"))
                << body.toStdString() << ": " << error.toStdString();
        }
    }
    for (const char *address : {"https://orvinta.app/d/2.0.tar.gz", "http://127.0.0.1:8080/d.tgz",
                                "http://localhost/d.tgz", "http://[::1]/d.tgz"}) {
        QString error;
        const auto items =
            parseAppcast(feedWith("<enclosure url=\"" + QByteArray(address) + "\"/>"), &error);
        ASSERT_TRUE(items) << address << ": " << error.toStdString();
        EXPECT_EQ(items->first().downloadPage(), QUrl(address));
    }
}

// The installed package carries the feed's notes: AppStream releases for the
// software centre and a Debian changelog, newest version first, the notes as
// plain paragraphs and list items (nested lists joined, inline markup reduced
// to its words, nothing of scripts), changelog lines wrapped to 80 columns.
TEST(AppcastTest, ReleaseNotesBecomeAppStreamReleasesAndADebianChangelog) {
    using ReleaseFiles::NotesBlock;
    EXPECT_EQ(
        ReleaseFiles::notesBlocks(
            "<h3>New</h3><ul><li>Faster <code>orvinta-cli</code><ul><li>inner</li></ul></li>"
            "<li>A &amp; B</li></ul><script>x()</script><p>Line<br>two</p><ol><li>1</li></ol>"),
        (QList<NotesBlock>{{"New", {}},
                           {{}, {"Faster orvinta-cli", "inner", "A & B"}},
                           {"Line two", {}},
                           {{}, {"1"}}}));

    const QByteArray xml =
        rssStart +
        "<item><title>Orvinta 1.2</title><pubDate>Tue, 01 Sep 2026 08:30:00 -0230</pubDate>"
        "<sparkle:shortVersionString>1.2</sparkle:shortVersionString>"
        "<description><![CDATA[<p>Fixes &lt;many&gt;</p>]]></description></item>"
        "<item><title>Orvinta 1.10</title><pubDate>Sun, 06 Dec 2026 12:00:00 +0000</pubDate>"
        "<sparkle:shortVersionString>1.10</sparkle:shortVersionString>"
        "<sparkle:releaseNotesLink>https://orvinta.app/notes/1.10</sparkle:releaseNotesLink>"
        "<description><![CDATA[<h3>New</h3><ul><li>Every confirmed line translated with "
        "Apertium, copied or pasted at the cursor as you choose.</li></ul>]]></description>"
        "</item></channel></rss>";
    const auto items = parseAppcast(xml);
    ASSERT_TRUE(items);
    EXPECT_EQ(ReleaseFiles::appStreamReleases(*items, 2),
              "<releases>\n"
              "  <release version=\"1.10\" date=\"2026-12-06\">\n"
              "    <description>\n"
              "      <p>New</p>\n"
              "      <ul>\n"
              "        <li>Every confirmed line translated with Apertium, copied or pasted at "
              "the cursor as you choose.</li>\n"
              "      </ul>\n"
              "    </description>\n"
              "    <url>https://orvinta.app/notes/1.10</url>\n"
              "  </release>\n"
              "  <release version=\"1.2\" date=\"2026-09-01\">\n"
              "    <description>\n"
              "      <p>Fixes &lt;many&gt;</p>\n"
              "    </description>\n"
              "  </release>\n"
              "</releases>");
    EXPECT_EQ(ReleaseFiles::debianChangelog(*items, "orvinta", "Dev <dev@example.org>"),
              "orvinta (1.10) stable; urgency=medium\n\n"
              "  * New\n"
              "    - Every confirmed line translated with Apertium, copied or pasted at the\n"
              "      cursor as you choose.\n\n"
              " -- Dev <dev@example.org>  Sun, 06 Dec 2026 12:00:00 +0000\n\n"
              "orvinta (1.2) stable; urgency=medium\n\n"
              "  * Fixes <many>\n\n"
              " -- Dev <dev@example.org>  Tue, 01 Sep 2026 08:30:00 -0230\n");

    // A release without a date cannot be listed: the reason names it.
    const auto undated =
        parseAppcast(rssStart + "<item><title>Orvinta 2.0</title><sparkle:shortVersionString>2.0"
                                "</sparkle:shortVersionString></item></channel></rss>");
    ASSERT_TRUE(undated);
    QString error;
    EXPECT_FALSE(ReleaseFiles::debianChangelog(*undated, "orvinta", "Dev <d@e.org>", &error));
    EXPECT_TRUE(error.contains("Orvinta 2.0") && error.contains("date")) << error.toStdString();
}
