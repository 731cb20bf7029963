#include <OrvintaUpdates/NotesHtml.h>

#include <libxml/HTMLparser.h>

#include <QHash>
#include <QList>
#include <QSet>
#include <QUrl>

#include <memory>
#include <mutex>

namespace Orvinta::NotesHtml {

namespace {

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};

QString name(const xmlChar *value) {
    return QString::fromUtf8(reinterpret_cast<const char *>(value)).toLower();
}

/// Elements left out with everything inside them: what they hold is no text
/// to read (scripts, styles, frames, media, forms).
bool isDroppedElement(const QString &element) {
    static const QSet<QString> dropped = {
        "script", "style",   "iframe",   "frame",  "frameset", "object", "embed",  "applet",
        "form",   "input",   "button",   "select", "textarea", "link",   "meta",   "base",
        "svg",    "math",    "template", "audio",  "video",    "source", "canvas", "noscript",
        "img",    "picture", "head",     "title",  "map",      "area",   "track",  "param"};
    return dropped.contains(element);
}

/// What release notes are made of: text, headings, lists, links, emphasis and
/// code. Everything else (tables, fonts, layout boxes) gives up its tag and
/// keeps its words; a table row becomes a paragraph.
QString keptElement(const QString &element) {
    static const QHash<QString, QString> kept = {{"p", "p"},
                                                 {"br", "br"},
                                                 {"hr", "hr"},
                                                 {"h1", "h1"},
                                                 {"h2", "h2"},
                                                 {"h3", "h3"},
                                                 {"h4", "h4"},
                                                 {"h5", "h5"},
                                                 {"h6", "h6"},
                                                 {"ul", "ul"},
                                                 {"ol", "ol"},
                                                 {"li", "li"},
                                                 {"a", "a"},
                                                 {"em", "em"},
                                                 {"i", "i"},
                                                 {"strong", "strong"},
                                                 {"b", "b"},
                                                 {"u", "u"},
                                                 {"s", "s"},
                                                 {"del", "del"},
                                                 {"code", "code"},
                                                 {"pre", "pre"},
                                                 {"kbd", "kbd"},
                                                 {"tt", "tt"},
                                                 {"blockquote", "blockquote"},
                                                 {"div", "div"},
                                                 {"tr", "p"},
                                                 {"caption", "p"},
                                                 {"dt", "p"},
                                                 {"dd", "p"}};
    return kept.value(element);
}

bool isVoid(const QString &element) {
    return element == QLatin1String("br") || element == QLatin1String("hr");
}

/// Whether a link may stay: a web page or a mail address. Anything else
/// (javascript:, data:, file:, relative with no base) is dropped.
bool isSafeLink(const QString &value) {
    const QUrl url(value.trimmed());
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http" || scheme == "https" || scheme == "mailto");
}

QString attributeValue(const xmlNode *node, const char *attribute) {
    xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(attribute));
    const QString result =
        value ? QString::fromUtf8(reinterpret_cast<const char *>(value)) : QString();
    xmlFree(value);
    return result;
}

/// Writes the notes anew from the parsed tree, keeping only what is known to
/// be harmless and bounded: no attribute but a link's address (a style could
/// fetch, however it is escaped), at most maxDepth elements inside one
/// another, maxElements in all and maxTextLength characters of text. Qt lays
/// rich text out on the GUI thread, and nested or huge tables take minutes.
/// The tree is walked without recursion: the parser allows deep nesting.
class Writer {
public:
    explicit Writer(bool forQtRichText)
        : m_forQtRichText(forQtRichText) {}

    QString write(xmlNode *root) {
        xmlNode *node = root->children;
        while (node) {
            const bool entered = enter(node);
            if (entered && node->children) {
                node = node->children;
                continue;
            }
            if (entered)
                leave();
            while (node != root && !node->next) {
                node = node->parent;
                if (node != root)
                    leave();
            }
            if (node == root)
                break;
            node = node->next;
        }
        return m_out;
    }

private:
    /// Writes a node's start; whether it was entered (an element whose
    /// children are to be written, and whose end leave() writes).
    bool enter(xmlNode *node) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            text(QString::fromUtf8(reinterpret_cast<const char *>(node->content)));
            return false;
        }
        if (node->type != XML_ELEMENT_NODE)
            return false;
        const QString element = name(node->name);
        if (isDroppedElement(element))
            return false;
        QString tag = keptElement(element);
        QString attributes;
        if (tag == QLatin1String("a")) {
            const QString href = attributeValue(node, "href");
            if (isSafeLink(href))
                attributes = QStringLiteral(" href=\"%1\"")
                                 .arg(QUrl(href.trimmed()).toString(QUrl::FullyEncoded));
            else
                tag.clear();
        }
        const bool isCell = element == QLatin1String("td") || element == QLatin1String("th");
        if (!tag.isEmpty() && (m_open >= maxDepth || m_elements >= maxElements))
            tag.clear();
        if (!tag.isEmpty()) {
            ++m_elements;
            // Qt's rich text gives headings its own relative sizes and ignores
            // a pixel size for them; a paragraph of class "h3" takes the style sheet's.
            if (m_forQtRichText && tag == QLatin1String("h3")) {
                tag = QStringLiteral("p");
                attributes = QStringLiteral(" class=\"h3\"");
            }
            m_out += QLatin1Char('<') + tag + attributes + QLatin1Char('>');
            if (isVoid(tag))
                tag.clear();
            else
                ++m_open;
        }
        m_ends.append({tag, isCell});
        return true;
    }

    void leave() {
        const auto [tag, isCell] = m_ends.takeLast();
        if (isCell)
            text(QStringLiteral(" "));
        if (tag.isEmpty())
            return;
        --m_open;
        m_out += QStringLiteral("</") + tag + QLatin1Char('>');
    }

    void text(const QString &value) {
        if (m_text >= maxTextLength)
            return;
        const QString kept = value.left(maxTextLength - m_text);
        m_text += int(kept.size());
        m_out += kept.toHtmlEscaped();
        if (m_text >= maxTextLength)
            m_out += QStringLiteral(" …");
    }

    struct End {
        QString tag; // empty: nothing was written at the start
        bool isCell = false;
    };

    bool m_forQtRichText;
    QString m_out;
    QList<End> m_ends;
    int m_open = 0;
    int m_elements = 0;
    int m_text = 0;
};

xmlNode *findElement(xmlNode *node, const char *wanted) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && name(node->name) == QLatin1String(wanted))
            return node;
        if (xmlNode *found = findElement(node->children, wanted))
            return found;
    }
    return nullptr;
}

QString cleaned(const QString &fragment, bool forQtRichText) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });
    if (fragment.trimmed().isEmpty())
        return QString();
    const QByteArray html = "<html><body>" + fragment.toUtf8() + "</body></html>";
    std::unique_ptr<xmlDoc, DocFree> doc(
        htmlReadMemory(html.constData(), int(html.size()), nullptr, "UTF-8",
                       HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
    if (!doc)
        return QString();
    xmlNode *body = findElement(xmlDocGetRootElement(doc.get()), "body");
    if (!body)
        return QString();
    return Writer(forQtRichText).write(body).trimmed();
}

} // namespace

QString sanitize(const QString &fragment) {
    return cleaned(fragment, false);
}

QString document(const QString &fragment, ColorScheme scheme) {
    const QLatin1String textColour =
        scheme == ColorScheme::dark ? QLatin1String("#e0e0e0") : QLatin1String("#333");
    // Qt's rich text knows no media queries, so the colour scheme is chosen here.
    return QStringLiteral("<!DOCTYPE html>\n"
                          "<html>\n"
                          "<head>\n"
                          "<meta charset=\"utf-8\">\n"
                          "<style>\n"
                          "body { font-family: -apple-system, BlinkMacSystemFont, sans-serif; "
                          "font-size: 13px; line-height: 1.6; padding: 16px 20px; margin: 0; "
                          "background: transparent; color: %1; }\n"
                          "h3, p.h3 { font-size: 15px; font-weight: bold; margin: 12px 0 6px; }\n"
                          "ul { padding-left: 20px; margin: 4px 0; }\n"
                          "li { margin-bottom: 4px; }\n"
                          "</style>\n"
                          "</head>\n"
                          "<body>\n")
               .arg(textColour) +
           cleaned(fragment, true) + QStringLiteral("</body>\n</html>");
}

} // namespace Orvinta::NotesHtml
