#pragma once

#include <QColor>
#include <QSortFilterProxyModel>
#include <QString>

#include <memory>

namespace Orvinta {

class Transcript;

/// Whether `text` contains `query`, compared the way the locale's users
/// expect: case-insensitive, accents significant, canonically equivalent
/// forms equal.
class LocaleTextMatcher {
public:
    explicit LocaleTextMatcher(const QString &localeName);
    ~LocaleTextMatcher();
    LocaleTextMatcher(const LocaleTextMatcher &) = delete;
    LocaleTextMatcher &operator=(const LocaleTextMatcher &) = delete;

    bool contains(const QString &text, const QString &query) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// The line text with every match of the query marked: both lower-cased, matches
/// found left to right without overlap. A match that does not begin and end on
/// a character of the original text (lower-casing made one character longer
/// inside it) is left unmarked. Returns rich text, or the text escaped when
/// nothing is marked; `marks` receives the number of marked ranges.
QString highlightedText(const QString &text, const QString &query, const QColor &foreground,
                        const QColor &background, int *marks = nullptr);

/// The overlay's list: the transcript's lines, all of them or those that match
/// the search (in their text or their translation), order kept. Appending a
/// line inserts one row; a new query changes the whole list at once. A line's
/// id is its text without braces, as the view model names lines.
class OverlayLineModel : public QSortFilterProxyModel {
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { HighlightedTextRole = Qt::UserRole + 100, TimeTextRole };

    explicit OverlayLineModel(Transcript &transcript, QObject *parent = nullptr);
    ~OverlayLineModel() override;

    void setQuery(const QString &query);
    QString query() const { return m_query; }
    /// Colours of the marks; light and dark palettes need different yellows.
    void setHighlightColors(const QColor &foreground, const QColor &background);
    int count() const { return rowCount(); }

    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void countChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_query;
    QColor m_markForeground;
    QColor m_markBackground;
    LocaleTextMatcher m_matcher;
};

} // namespace Orvinta
