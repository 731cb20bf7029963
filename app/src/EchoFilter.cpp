#include <OrvintaApp/EchoFilter.h>

#include <TranscriptionCore/Dedup.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Orvinta {

namespace {

std::string comparisonForm(const QString &text) {
    return TranscriptionCore::normalizeForDedup(text.toStdString());
}

QStringList wordsOf(const std::string &form) {
    return QString::fromStdString(form).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

/// How many words of `a` come, in order, in `b` (the longest common subsequence).
qsizetype wordsInOrder(const QStringList &a, const QStringList &b) {
    std::vector<qsizetype> row(static_cast<std::size_t>(b.size()) + 1, 0);
    for (const QString &word : a) {
        qsizetype diagonal = 0;
        for (std::size_t j = 0; j < static_cast<std::size_t>(b.size()); ++j) {
            const qsizetype above = row[j + 1];
            row[j + 1] =
                word == b[static_cast<qsizetype>(j)] ? diagonal + 1 : std::max(above, row[j]);
            diagonal = above;
        }
    }
    return row.back();
}

/// Words that two lines of their own share are mostly short ones, here and
/// there; an echo keeps runs of them. Fewer than this many in a row say too
/// little: such a line is an echo only as a near repeat.
constexpr qsizetype phraseLength = 3;

/// Whether `a` and `b` have phraseLength words in a row in common.
bool sharePhrase(const QStringList &a, const QStringList &b) {
    for (qsizetype i = 0; i + phraseLength <= a.size(); ++i)
        for (qsizetype j = 0; j + phraseLength <= b.size(); ++j) {
            qsizetype n = 0;
            while (n < phraseLength && a[i + n] == b[j + n])
                ++n;
            if (n == phraseLength)
                return true;
        }
    return false;
}

} // namespace

void EchoFilter::computerSaid(const QString &text, Stretch spoken) {
    std::string form = comparisonForm(text);
    if (!form.empty())
        m_said.push_back({spoken, form, wordsOf(form)});
}

bool EchoFilter::isEcho(const QString &microphoneText, Stretch spoken) {
    while (!m_said.empty() && m_said.front().spoken.end < spoken.start - window)
        m_said.pop_front();
    const std::string heard = comparisonForm(microphoneText);
    if (heard.empty())
        return false;
    const QStringList heardWords = wordsOf(heard);
    const auto near = [](double a, double b) { return std::abs(a - b) <= sameMoment; };

    TranscriptionCore::DedupTracker repeats;
    for (std::size_t first = 0; first < m_said.size(); ++first) {
        std::string form;
        QStringList words;
        bool phrase = false;
        const Stretch &from = m_said[first].spoken;
        for (std::size_t last = first; last < m_said.size() && last < first + 3; ++last) {
            form += (form.empty() ? "" : " ") + m_said[last].form;
            words += m_said[last].words;
            repeats.insert(form);
            phrase = phrase || sharePhrase(heardWords, m_said[last].words);
            const Stretch &to = m_said[last].spoken;
            const qsizetype inOrder = wordsInOrder(heardWords, words);
            // The sound reaches the microphone a moment after the computer played it.
            if (near(spoken.start, from.start) && near(spoken.end, to.end) && inOrder >= 2 &&
                4 * inOrder >= heardWords.size())
                return true;
            if (phrase && near(spoken.start, from.start))
                return true;
            const bool within =
                spoken.start >= from.start - sameMoment && spoken.end <= to.end + sameMoment;
            if (phrase && within && 5 * inOrder >= 2 * heardWords.size())
                return true;
        }
    }
    return repeats.isDuplicate(heard);
}

} // namespace Orvinta
