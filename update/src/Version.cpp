#include <OrvintaUpdates/Version.h>

#include <QList>

namespace Orvinta {

namespace {

/// The numeric parts, without leading zeros, so that parts of any length
/// compare without overflowing.
std::optional<QList<QStringView>> numericParts(QStringView version) {
    version = version.trimmed();
    if (version.isEmpty())
        return std::nullopt;
    QList<QStringView> parts;
    for (QStringView part : version.split(QLatin1Char('.'))) {
        if (part.isEmpty())
            return std::nullopt;
        for (QChar c : part)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        while (part.size() > 1 && part.front() == QLatin1Char('0'))
            part = part.mid(1);
        parts.append(part);
    }
    return parts;
}

std::strong_ordering comparePart(QStringView a, QStringView b) {
    if (a.size() != b.size())
        return a.size() <=> b.size();
    const int order = a.compare(b);
    return order <=> 0;
}

} // namespace

std::optional<std::strong_ordering> compareVersions(const QString &a, const QString &b) {
    const auto left = numericParts(a);
    const auto right = numericParts(b);
    if (!left || !right)
        return std::nullopt;
    const QStringView zero = u"0";
    for (qsizetype i = 0; i < std::max(left->size(), right->size()); ++i) {
        const QStringView l = i < left->size() ? left->at(i) : zero;
        const QStringView r = i < right->size() ? right->at(i) : zero;
        if (const auto order = comparePart(l, r); order != 0)
            return order;
    }
    return std::strong_ordering::equal;
}

bool isNewerVersion(const QString &candidate, const QString &current) {
    const auto order = compareVersions(candidate, current);
    return order && *order == std::strong_ordering::greater;
}

} // namespace Orvinta
