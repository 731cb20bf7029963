#include <OrvintaUpdates/ReleaseFiles.h>

#include <OrvintaUpdates/NotesHtml.h>
#include <OrvintaUpdates/Version.h>

#include <libxml/HTMLparser.h>

#include <QLocale>
#include <QSet>

#include <algorithm>
#include <memory>
#include <mutex>

namespace Orvinta::ReleaseFiles {

namespace {

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};

QString name(const xmlChar *value) {
    return QString::fromUtf8(reinterpret_cast<const char *>(value)).toLower();
}

bool isInline(const QString &element) {
    static const QSet<QString> inlineElements = {"a",  "em",   "i",   "strong", "b",
                                                 "u",  "s",    "del", "code",   "kbd",
                                                 "tt", "span", "sub", "sup",    "small"};
    return inlineElements.contains(element);
}

/// Text gathers until a block starts or ends; inside a list it becomes an
/// item of that list, elsewhere a paragraph. Nested lists join the outer one.
class BlockWriter {
public:
    QList<NotesBlock> write(const xmlNode *node) {
        walk(node);
        flush();
        return m_blocks;
    }

private:
    void walk(const xmlNode *node) {
        for (; node; node = node->next) {
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                m_text += QString::fromUtf8(reinterpret_cast<const char *>(node->content));
                continue;
            }
            if (node->type != XML_ELEMENT_NODE)
                continue;
            const QString element = name(node->name);
            if (element == QLatin1String("br")) {
                m_text += QLatin1Char(' ');
                continue;
            }
            if (isInline(element)) {
                walk(node->children);
                continue;
            }
            flush();
            const bool list = element == QLatin1String("ul") || element == QLatin1String("ol");
            if (list && m_listDepth++ == 0)
                m_newList = true;
            walk(node->children);
            flush();
            if (list)
                --m_listDepth;
        }
    }

    void flush() {
        const QString text = m_text.simplified();
        m_text.clear();
        if (text.isEmpty())
            return;
        if (m_listDepth == 0) {
            m_blocks.append(NotesBlock{text, {}});
            return;
        }
        if (m_newList || m_blocks.isEmpty() || !m_blocks.last().isList())
            m_blocks.append(NotesBlock{});
        m_newList = false;
        m_blocks.last().items.append(text);
    }

    QList<NotesBlock> m_blocks;
    QString m_text;
    int m_listDepth = 0;
    bool m_newList = false;
};

/// The items that are releases, newest first.
std::optional<QList<AppcastItem>> releases(QList<AppcastItem> items, QString *error) {
    for (const AppcastItem &item : items) {
        // Only a version compares with itself.
        const QString problem =
            !compareVersions(item.displayedVersion(), item.displayedVersion())
                ? QStringLiteral("has no version")
                : (!item.published.isValid() ? QStringLiteral("has no date (pubDate)") : QString());
        if (!problem.isEmpty()) {
            if (error)
                *error =
                    QStringLiteral("the release \"%1\" %2")
                        .arg(item.title.isEmpty() ? item.displayedVersion() : item.title, problem);
            return std::nullopt;
        }
    }
    std::stable_sort(items.begin(), items.end(), [](const AppcastItem &a, const AppcastItem &b) {
        return isNewerVersion(a.displayedVersion(), b.displayedVersion());
    });
    return items;
}

QString escaped(const QString &text) {
    return text.toHtmlEscaped();
}

/// `text` broken at spaces into lines of at most 80 columns, the first
/// starting with `first` and the others with `next`.
QString wrapped(const QString &text, const QString &first, const QString &next) {
    QString out;
    QString line = first;
    bool lineHasWord = false;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineHasWord && line.size() + 1 + word.size() > 80) {
            out += line + QLatin1Char('\n');
            line = next;
            lineHasWord = false;
        }
        if (lineHasWord)
            line += QLatin1Char(' ');
        line += word;
        lineHasWord = true;
    }
    return out + line + QLatin1Char('\n');
}

/// RFC 2822 with the day's name, as a Debian changelog's trailer wants it.
QString changelogDate(const QDateTime &date) {
    const int offset = date.offsetFromUtc() / 60;
    return QLocale::c().toString(date, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1%2")
               .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QList<NotesBlock> notesBlocks(const QString &html) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    // Only what sanitize() keeps is read: scripts and styles hold no notes.
    const QString clean = NotesHtml::sanitize(html);
    if (clean.isEmpty())
        return {};
    const QByteArray document = "<html><body>" + clean.toUtf8() + "</body></html>";
    std::unique_ptr<xmlDoc, DocFree> doc(
        htmlReadMemory(document.constData(), int(document.size()), nullptr, "UTF-8",
                       HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
    const xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    const xmlNode *body = root ? root->children : nullptr;
    while (body && !(body->type == XML_ELEMENT_NODE && name(body->name) == QLatin1String("body")))
        body = body->next;
    return body ? BlockWriter().write(body->children) : QList<NotesBlock>();
}

std::optional<QString> appStreamReleases(const QList<AppcastItem> &items, int indent,
                                         QString *error) {
    const std::optional<QList<AppcastItem>> sorted = releases(items, error);
    if (!sorted)
        return std::nullopt;
    const auto line = [indent](int level, const QString &text) {
        return QString(indent * level, QLatin1Char(' ')) + text + QLatin1Char('\n');
    };
    QString out = QStringLiteral("<releases>\n");
    for (const AppcastItem &item : *sorted) {
        out += line(1, QStringLiteral("<release version=\"%1\" date=\"%2\">")
                           .arg(escaped(item.displayedVersion()),
                                item.published.toUTC().date().toString(Qt::ISODate)));
        const QList<NotesBlock> blocks = notesBlocks(item.descriptionHtml);
        if (!blocks.isEmpty()) {
            out += line(2, QStringLiteral("<description>"));
            for (const NotesBlock &block : blocks) {
                if (!block.isList()) {
                    out += line(3, QStringLiteral("<p>%1</p>").arg(escaped(block.paragraph)));
                    continue;
                }
                out += line(3, QStringLiteral("<ul>"));
                for (const QString &entry : block.items)
                    out += line(4, QStringLiteral("<li>%1</li>").arg(escaped(entry)));
                out += line(3, QStringLiteral("</ul>"));
            }
            out += line(2, QStringLiteral("</description>"));
        }
        if (isSecureWebAddress(item.releaseNotesLink))
            out += line(2, QStringLiteral("<url>%1</url>")
                               .arg(escaped(item.releaseNotesLink.toString(QUrl::FullyEncoded))));
        out += line(1, QStringLiteral("</release>"));
    }
    return out + QStringLiteral("</releases>");
}

std::optional<QString> debianChangelog(const QList<AppcastItem> &items, const QString &source,
                                       const QString &maintainer, QString *error) {
    const std::optional<QList<AppcastItem>> sorted = releases(items, error);
    if (!sorted)
        return std::nullopt;
    QString out;
    for (const AppcastItem &item : *sorted) {
        if (!out.isEmpty())
            out += QLatin1Char('\n');
        out += QStringLiteral("%1 (%2) stable; urgency=medium\n\n")
                   .arg(source, item.displayedVersion());
        const QList<NotesBlock> blocks = notesBlocks(item.descriptionHtml);
        if (blocks.isEmpty())
            out +=
                wrapped(item.title.isEmpty() ? QStringLiteral("Orvinta ") + item.displayedVersion()
                                             : item.title,
                        QStringLiteral("  * "), QStringLiteral("    "));
        bool underHeading = false;
        for (const NotesBlock &block : blocks) {
            if (!block.isList()) {
                out += wrapped(block.paragraph, QStringLiteral("  * "), QStringLiteral("    "));
                underHeading = true;
                continue;
            }
            for (const QString &entry : block.items)
                out += underHeading
                           ? wrapped(entry, QStringLiteral("    - "), QStringLiteral("      "))
                           : wrapped(entry, QStringLiteral("  * "), QStringLiteral("    "));
        }
        out += QStringLiteral("\n -- %1  %2\n").arg(maintainer, changelogDate(item.published));
    }
    return out;
}

} // namespace Orvinta::ReleaseFiles
