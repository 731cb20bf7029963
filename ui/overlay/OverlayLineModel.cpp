#include <OrvintaUi/OverlayLineModel.h>

#include <OrvintaApp/Transcript.h>

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QUuid>

#include <unicode/coll.h>
#include <unicode/stsearch.h>
#include <unicode/unistr.h>

namespace Orvinta {

namespace {
icu::UnicodeString toIcu(const QString &text) {
    return icu::UnicodeString(reinterpret_cast<const UChar *>(text.utf16()),
                              static_cast<int32_t>(text.size()));
}
} // namespace

struct LocaleTextMatcher::Impl {
    std::unique_ptr<icu::RuleBasedCollator> collator;
};

LocaleTextMatcher::LocaleTextMatcher(const QString &localeName)
    : m_impl(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale(localeName.toUtf8().constData());
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator)
        return;
    auto *ruleBased = dynamic_cast<icu::RuleBasedCollator *>(collator.get());
    if (!ruleBased)
        return;
    collator.release();
    m_impl->collator.reset(ruleBased);
    // Secondary strength: base letters and accents count, case does not.
    m_impl->collator->setStrength(icu::Collator::SECONDARY);
    m_impl->collator->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
}

LocaleTextMatcher::~LocaleTextMatcher() = default;

bool LocaleTextMatcher::contains(const QString &text, const QString &query) const {
    if (query.isEmpty())
        return true;
    if (text.isEmpty())
        return false;
    if (!m_impl->collator)
        return text.contains(query, Qt::CaseInsensitive);
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString pattern = toIcu(query);
    const icu::UnicodeString target = toIcu(text);
    icu::StringSearch search(pattern, target, m_impl->collator.get(), nullptr, status);
    if (U_FAILURE(status))
        return text.contains(query, Qt::CaseInsensitive);
    search.setAttribute(USEARCH_CANONICAL_MATCH, USEARCH_ON, status);
    const int32_t found = search.first(status);
    return U_SUCCESS(status) && found != USEARCH_DONE;
}

QString highlightedText(const QString &text, const QString &query, const QColor &foreground,
                        const QColor &background, int *marks) {
    if (marks)
        *marks = 0;
    if (query.isEmpty())
        return text.toHtmlEscaped();
    // Lower-case character by character, remembering where each original
    // character starts in the lower-cased text, so that a match maps back even
    // when a character before it changed length.
    QString lowered;
    QList<qsizetype> originalAt; // for each position in `lowered`, the index in `text`, or -1
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString lower = text.mid(i, length).toLower();
        originalAt.append(i);
        originalAt.resize(originalAt.size() + lower.size() - 1, -1);
        lowered += lower;
        i += length;
    }
    originalAt.append(text.size());
    const QString needle = query.toLower();

    QString result;
    qsizetype copied = 0;
    int count = 0;
    qsizetype from = 0;
    while (from <= lowered.size()) {
        const qsizetype at = lowered.indexOf(needle, from);
        if (at < 0)
            break;
        const qsizetype end = at + needle.size();
        from = end;
        const qsizetype start = originalAt.value(at, -1);
        const qsizetype stop = originalAt.value(end, -1);
        if (start < 0 || stop < 0 || start < copied)
            continue;
        result += text.mid(copied, start - copied).toHtmlEscaped();
        result += QStringLiteral("<span style=\"color:%1; background-color:rgba(%2,%3,%4,%5)\">")
                      .arg(foreground.name(QColor::HexRgb))
                      .arg(background.red())
                      .arg(background.green())
                      .arg(background.blue())
                      .arg(background.alpha());
        result += text.mid(start, stop - start).toHtmlEscaped();
        result += QStringLiteral("</span>");
        copied = stop;
        ++count;
    }
    result += text.mid(copied).toHtmlEscaped();
    if (marks)
        *marks = count;
    return result;
}

OverlayLineModel::OverlayLineModel(Transcript &transcript, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_markForeground(QColor(255, 214, 10))
    , m_markBackground(QColor(255, 214, 10, 51))
    , m_matcher(QLocale().name()) {
    setDynamicSortFilter(true);
    setSourceModel(&transcript);
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(this, signal, this, &OverlayLineModel::countChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &OverlayLineModel::countChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &OverlayLineModel::countChanged);
}

OverlayLineModel::~OverlayLineModel() = default;

void OverlayLineModel::setQuery(const QString &query) {
    if (query == m_query)
        return;
    m_query = query;
    // One change of the whole list, not rows taken out and put back here and
    // there: Qt 6.4's list view fills rows put back in two places in one turn
    // with their neighbours' texts. Its delegates are made again, marks and all.
    invalidate();
}

void OverlayLineModel::setHighlightColors(const QColor &foreground, const QColor &background) {
    m_markForeground = foreground;
    m_markBackground = background;
    if (!m_query.isEmpty() && rowCount() > 0)
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, 0), {HighlightedTextRole});
}

bool OverlayLineModel::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const {
    if (m_query.isEmpty())
        return true;
    const QModelIndex line = sourceModel()->index(sourceRow, 0, sourceParent);
    return m_matcher.contains(line.data(Transcript::TextRole).toString(), m_query) ||
           m_matcher.contains(line.data(Transcript::TranslationRole).toString(), m_query);
}

QVariant OverlayLineModel::data(const QModelIndex &index, int role) const {
    switch (role) {
    case HighlightedTextRole:
        return highlightedText(QSortFilterProxyModel::data(index, Transcript::TextRole).toString(),
                               m_query, m_markForeground, m_markBackground);
    case Transcript::IdRole:
        // The text the view model names lines by, as QML compares it.
        return QSortFilterProxyModel::data(index, role).toUuid().toString(QUuid::WithoutBraces);
    case TimeTextRole:
        return QSortFilterProxyModel::data(index, Transcript::TimeRole)
            .toDateTime()
            .toLocalTime()
            .toString(QStringLiteral("HH:mm:ss"));
    default:
        return QSortFilterProxyModel::data(index, role);
    }
}

QHash<int, QByteArray> OverlayLineModel::roleNames() const {
    QHash<int, QByteArray> roles = QSortFilterProxyModel::roleNames();
    roles.insert(HighlightedTextRole, "highlightedText");
    roles.insert(TimeTextRole, "timeText");
    return roles;
}

} // namespace Orvinta
