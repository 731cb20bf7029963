#include <OrvintaApp/EchoFilter.h>

#include <TranscriptionCore/Dedup.h>

#include <QSet>
#include <QStringList>

namespace Orvinta {

namespace {

std::string comparisonForm(const QString &text) {
    return TranscriptionCore::normalizeForDedup(text.toStdString());
}

QStringList words(const QString &text) {
    return QString::fromStdString(comparisonForm(text)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

void EchoFilter::computerSaid(const QString &text, double timestamp) {
    std::string form = comparisonForm(text);
    if (!form.empty())
        m_said.push_back({timestamp, std::move(form)});
}

bool EchoFilter::isEcho(const QString &microphoneText, double timestamp) {
    while (!m_said.empty() && m_said.front().timestamp < timestamp - window)
        m_said.pop_front();
    const std::string heard = comparisonForm(microphoneText);
    if (heard.empty() || m_said.empty())
        return false;
    TranscriptionCore::DedupTracker said;
    for (std::size_t first = 0; first < m_said.size(); ++first) {
        std::string joined;
        for (std::size_t last = first; last < m_said.size() && last < first + 3; ++last) {
            joined += (joined.empty() ? "" : " ") + m_said[last].form;
            said.insert(joined);
        }
        const std::string padded = ' ' + m_said[first].form + ' ';
        if (padded.find(' ' + heard + ' ') != std::string::npos)
            return true;
    }
    return said.isDuplicate(heard);
}

bool EchoFilter::mayBeEchoOf(const QString &microphoneText, const QString &computerInterim) {
    const QStringList line = words(microphoneText);
    if (line.isEmpty())
        return false;
    const QStringList interim = words(computerInterim);
    const QSet<QString> heard(interim.begin(), interim.end());
    qsizetype shared = 0;
    for (const QString &word : line)
        shared += heard.contains(word) ? 1 : 0;
    return 2 * shared >= line.size();
}

} // namespace Orvinta
