#include <OrvintaUpdates/NotesHtml.h>

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>

#include <QSet>
#include <QUrl>

#include <memory>
#include <mutex>

namespace Orvinta::NotesHtml {

namespace {

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct BufferFree {
    void operator()(xmlBuffer *buffer) const { xmlBufferFree(buffer); }
};

QString name(const xmlChar *value) {
    return QString::fromUtf8(reinterpret_cast<const char *>(value)).toLower();
}

bool isDroppedElement(const QString &element) {
    static const QSet<QString> dropped = {
        "script", "style", "iframe",   "frame",    "frameset", "object", "embed",  "applet",
        "form",   "input", "button",   "textarea", "select",   "link",   "meta",   "base",
        "svg",    "math",  "template", "audio",    "video",    "source", "canvas", "noscript"};
    return dropped.contains(element);
}

/// Attributes followed when the reader clicks.
bool isLinkAttribute(const QString &attribute) {
    static const QSet<QString> links = {"href", "action", "formaction", "xlink:href"};
    return links.contains(attribute);
}

/// Attributes that a renderer fetches on its own, without a click.
bool isFetchedAttribute(const QString &attribute) {
    static const QSet<QString> fetched = {"src",    "background", "poster",
                                          "srcset", "lowsrc",     "dynsrc"};
    return fetched.contains(attribute);
}

QString scheme(const QString &address) {
    return QUrl(address.trimmed()).scheme().toLower();
}

/// Whether a link may stay: a web page or a mail address. Anything else
/// (javascript:, data:, file:, relative with no base) is dropped.
bool isSafeLink(const QString &value) {
    const QString s = scheme(value);
    return QUrl(value.trimmed()).isValid() && (s == "http" || s == "https" || s == "mailto");
}

/// What is fetched may only come from inside the program: the notes must
/// not tell anyone that they were read.
bool isLocalResource(const QString &value) {
    const QString s = scheme(value);
    return s == "qrc" || s == "data";
}

QString attributeValue(const xmlNode *node, const char *attribute) {
    xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(attribute));
    const QString result =
        value ? QString::fromUtf8(reinterpret_cast<const char *>(value)) : QString();
    xmlFree(value);
    return result;
}

bool keepsAttribute(const QString &attribute, const QString &value) {
    if (attribute.startsWith(QLatin1String("on")))
        return false;
    if (isLinkAttribute(attribute))
        return isSafeLink(value);
    if (isFetchedAttribute(attribute))
        return isLocalResource(value);
    if (attribute == QLatin1String("style"))
        return !value.contains(QLatin1String("url("), Qt::CaseInsensitive) &&
               !value.contains(QLatin1String("expression("), Qt::CaseInsensitive);
    return true;
}

/// Qt's rich text gives headings its own relative sizes and ignores a
/// pixel size for them; a paragraph of class "h3" takes the style sheet's.
void renameHeading(xmlNode *node) {
    xmlNodeSetName(node, reinterpret_cast<const xmlChar *>("p"));
    xmlSetProp(node, reinterpret_cast<const xmlChar *>("class"),
               reinterpret_cast<const xmlChar *>("h3"));
}

void clean(xmlNode *parent, bool forQtRichText) {
    xmlNode *child = parent->children;
    while (child) {
        xmlNode *next = child->next;
        if (child->type == XML_ELEMENT_NODE) {
            const QString element = name(child->name);
            if (isDroppedElement(element) ||
                (element == "img" && !isLocalResource(attributeValue(child, "src")))) {
                xmlUnlinkNode(child);
                xmlFreeNode(child);
            } else {
                xmlAttr *attribute = child->properties;
                while (attribute) {
                    xmlAttr *nextAttribute = attribute->next;
                    xmlChar *value = xmlNodeGetContent(reinterpret_cast<xmlNode *>(attribute));
                    const bool keep =
                        keepsAttribute(name(attribute->name),
                                       QString::fromUtf8(reinterpret_cast<const char *>(value)));
                    xmlFree(value);
                    if (!keep)
                        xmlRemoveProp(attribute);
                    attribute = nextAttribute;
                }
                if (forQtRichText && element == "h3")
                    renameHeading(child);
                clean(child, forQtRichText);
            }
        } else if (child->type == XML_COMMENT_NODE || child->type == XML_PI_NODE) {
            xmlUnlinkNode(child);
            xmlFreeNode(child);
        }
        child = next;
    }
}

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
    clean(body, forQtRichText);
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer)
        return QString();
    for (xmlNode *child = body->children; child; child = child->next)
        htmlNodeDump(buffer.get(), doc.get(), child);
    return QString::fromUtf8(reinterpret_cast<const char *>(xmlBufferContent(buffer.get())),
                             xmlBufferLength(buffer.get()))
        .trimmed();
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
