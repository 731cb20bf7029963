#include <OrvintaUpdates/Appcast.h>
#include <OrvintaUpdates/Version.h>

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <QHostAddress>

#include <memory>
#include <mutex>

namespace Orvinta {

namespace {

const xmlChar *xml(const char *text) {
    return reinterpret_cast<const xmlChar *>(text);
}

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct ParserFree {
    void operator()(xmlParserCtxt *ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct XPathContextFree {
    void operator()(xmlXPathContext *ctx) const { xmlXPathFreeContext(ctx); }
};
struct XPathObjectFree {
    void operator()(xmlXPathObject *obj) const { xmlXPathFreeObject(obj); }
};

QString text(const xmlChar *value) {
    return value ? QString::fromUtf8(reinterpret_cast<const char *>(value)) : QString();
}

QString contentOf(const xmlNode *node) {
    xmlChar *content = xmlNodeGetContent(node);
    const QString result = text(content);
    xmlFree(content);
    return result;
}

QString attribute(const xmlNode *node, const char *name, const char *ns = nullptr) {
    xmlChar *value = ns ? xmlGetNsProp(node, xml(name), xml(ns)) : xmlGetNoNsProp(node, xml(name));
    const QString result = text(value);
    xmlFree(value);
    return result;
}

bool isElement(const xmlNode *node, const char *name, const char *ns) {
    if (node->type != XML_ELEMENT_NODE || xmlStrcmp(node->name, xml(name)) != 0)
        return false;
    if (!ns)
        return node->ns == nullptr;
    return node->ns && xmlStrcmp(node->ns->href, xml(ns)) == 0;
}

const xmlNode *firstChild(const xmlNode *parent, const char *name, const char *ns = nullptr) {
    for (const xmlNode *child = parent->children; child; child = child->next)
        if (isElement(child, name, ns))
            return child;
    return nullptr;
}

/// Only absolute addresses: the feed has no base that relative ones could use.
QUrl absoluteUrl(const QString &value) {
    const QUrl url(value.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.isRelative() ? url : QUrl();
}

bool isLoopbackHost(const QString &host) {
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

AppcastItem readItem(const xmlNode *node) {
    AppcastItem item;
    if (const xmlNode *title = firstChild(node, "title"))
        item.title = contentOf(title).trimmed();
    if (const xmlNode *date = firstChild(node, "pubDate"))
        item.published = QDateTime::fromString(contentOf(date).trimmed(), Qt::RFC2822Date);
    if (const xmlNode *version = firstChild(node, "version", sparkleNamespace))
        item.version = contentOf(version);
    if (const xmlNode *shortVersion = firstChild(node, "shortVersionString", sparkleNamespace))
        item.shortVersion = contentOf(shortVersion);
    if (const xmlNode *description = firstChild(node, "description")) {
        item.hasDescription = true;
        item.descriptionHtml = contentOf(description).trimmed();
    }
    if (const xmlNode *notes = firstChild(node, "releaseNotesLink", sparkleNamespace))
        item.releaseNotesLink = absoluteUrl(contentOf(notes));
    if (const xmlNode *enclosure = firstChild(node, "enclosure")) {
        item.downloadUrl = absoluteUrl(attribute(enclosure, "url"));
        if (item.version.isEmpty())
            item.version = attribute(enclosure, "version", sparkleNamespace);
        if (item.shortVersion.isEmpty())
            item.shortVersion = attribute(enclosure, "shortVersionString", sparkleNamespace);
    }
    if (item.downloadUrl.isEmpty())
        if (const xmlNode *link = firstChild(node, "link"))
            item.downloadUrl = absoluteUrl(contentOf(link));
    return item;
}

void fail(QString *error, const QString &reason) {
    if (error)
        *error = reason;
}

} // namespace

QString AppcastItem::displayedVersion() const {
    return shortVersion.trimmed().isEmpty() ? version.trimmed() : shortVersion.trimmed();
}

namespace {

/// Why an item cannot be offered, if it cannot: the download button and
/// `check-update` hand its addresses to the desktop, which opens any scheme
/// (a file: address can name a program).
QString insecureAddress(const AppcastItem &item) {
    for (const QUrl &address : {item.downloadUrl, item.releaseNotesLink})
        if (!address.isEmpty() && !isSecureWebAddress(address))
            return QStringLiteral("the download or notes address of release \"%1\" must use "
                                  "HTTPS: %2")
                .arg(item.displayedVersion().left(40).simplified(),
                     address.toString(QUrl::FullyEncoded).left(200));
    return QString();
}

} // namespace

bool isSecureWebAddress(const QUrl &url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("https") ||
           (scheme == QLatin1String("http") && isLoopbackHost(url.host()));
}

std::optional<QList<AppcastItem>> parseAppcast(QByteArrayView data, QString *error) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    if (data.size() > maxAppcastBytes) {
        fail(error, QStringLiteral("the feed is larger than %1 KB").arg(maxAppcastBytes / 1024));
        return std::nullopt;
    }
    if (data.isEmpty()) {
        fail(error, QStringLiteral("the feed is empty"));
        return std::nullopt;
    }
    std::unique_ptr<xmlParserCtxt, ParserFree> parser(xmlNewParserCtxt());
    if (!parser) {
        fail(error, QStringLiteral("out of memory"));
        return std::nullopt;
    }
    // No network, no external subset, no entity substitution, and no
    // messages on standard error: a failure is reported once, by the caller.
    const int options =
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    std::unique_ptr<xmlDoc, DocFree> doc(xmlCtxtReadMemory(
        parser.get(), data.data(), int(data.size()), "appcast.xml", nullptr, options));
    if (!doc) {
        const xmlError *last = xmlCtxtGetLastError(parser.get());
        QString reason = last && last->message ? text(xml(last->message)).trimmed()
                                               : QStringLiteral("unknown error");
        reason = reason.simplified();
        fail(error, last ? QStringLiteral("the feed is not well-formed XML (line %1: %2)")
                               .arg(last->line)
                               .arg(reason)
                         : QStringLiteral("the feed is not well-formed XML"));
        return std::nullopt;
    }
    // Entities are only declared in a document type, and an appcast has
    // none; refusing it keeps entity expansion out of every later read.
    if (doc->intSubset || doc->extSubset) {
        fail(error,
             QStringLiteral("the feed declares a document type, which an appcast never has"));
        return std::nullopt;
    }
    const xmlNode *root = xmlDocGetRootElement(doc.get());
    if (!root || !isElement(root, "rss", nullptr)) {
        fail(error, QStringLiteral("the feed is not an RSS document"));
        return std::nullopt;
    }

    std::unique_ptr<xmlXPathContext, XPathContextFree> xpath(xmlXPathNewContext(doc.get()));
    if (!xpath || xmlXPathRegisterNs(xpath.get(), xml("sparkle"), xml(sparkleNamespace)) != 0) {
        fail(error, QStringLiteral("out of memory"));
        return std::nullopt;
    }
    std::unique_ptr<xmlXPathObject, XPathObjectFree> found(
        xmlXPathEvalExpression(xml("//item"), xpath.get()));
    if (!found) {
        fail(error, QStringLiteral("the feed's items cannot be read"));
        return std::nullopt;
    }
    QList<AppcastItem> items;
    if (const xmlNodeSet *nodes = found->nodesetval)
        for (int i = 0; i < nodes->nodeNr; ++i) {
            items.append(readItem(nodes->nodeTab[i]));
            if (const QString reason = insecureAddress(items.last()); !reason.isEmpty()) {
                fail(error, reason);
                return std::nullopt;
            }
        }
    return items;
}

std::optional<AppcastItem> newestItem(const QList<AppcastItem> &items) {
    std::optional<AppcastItem> newest;
    for (const AppcastItem &item : items) {
        if (!compareVersions(item.displayedVersion(), item.displayedVersion()))
            continue;
        if (!newest || isNewerVersion(item.displayedVersion(), newest->displayedVersion()))
            newest = item;
    }
    return newest;
}

} // namespace Orvinta
