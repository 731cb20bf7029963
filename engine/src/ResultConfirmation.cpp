#include <OrvintaEngine/ResultConfirmation.h>

#include <OrvintaEngine/STTEngine.h>
#include <OrvintaEngine/SpeechLog.h>

#include <TranscriptionCore/SentenceSplitter.h>

#include <algorithm>

namespace Orvinta {

namespace {

// Byte length of a UTF-8 space separator (Zs) or tab at the start of `text`, else 0.
std::size_t leadingSpaceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty())
        return 0;
    if (text[0] == ' ' || text[0] == '\t')
        return 1;
    if (text.size() >= 2 && byte(0) == 0xC2 && byte(1) == 0xA0)
        return 2;
    if (text.size() >= 3) {
        const unsigned a = byte(0), b = byte(1), c = byte(2);
        if ((a == 0xE1 && b == 0x9A && c == 0x80) ||              // U+1680
            (a == 0xE2 && b == 0x80 && c >= 0x80 && c <= 0x8A) || // U+2000..U+200A
            (a == 0xE2 && b == 0x80 && c == 0xAF) ||              // U+202F
            (a == 0xE2 && b == 0x81 && c == 0x9F) ||              // U+205F
            (a == 0xE3 && b == 0x80 && c == 0x80))                // U+3000
            return 3;
    }
    return 0;
}

std::size_t trailingSpaceLength(std::string_view text) {
    for (std::size_t length = 1; length <= std::min<std::size_t>(3, text.size()); ++length) {
        if (leadingSpaceLength(text.substr(text.size() - length)) == length)
            return length;
    }
    return 0;
}

std::size_t characterLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return std::min(length, text.size() - at);
}

/// The parts of `runs` (laid end to end in `text`) within the bytes [begin, end), trimmed.
std::vector<TextRun> runsWithin(const std::vector<TextRun> &runs, std::string_view text,
                                std::size_t begin, std::size_t end) {
    std::vector<TextRun> within;
    std::size_t runBegin = 0;
    for (const TextRun &run : runs) {
        const std::size_t runEnd = runBegin + run.text.size();
        if (runBegin < end && runEnd > begin) {
            const std::size_t from = std::max(runBegin, begin);
            const std::string_view part =
                trimSpaces(text.substr(from, std::min(runEnd, end) - from));
            if (!part.empty())
                within.push_back(TextRun{std::string(part), run.timeRange});
        }
        runBegin = runEnd;
    }
    return within;
}

QString quoted(std::string_view text) {
    return QLatin1Char('"') + QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) +
           QLatin1Char('"');
}

} // namespace

std::string_view trimSpaces(std::string_view text) {
    while (const std::size_t length = leadingSpaceLength(text))
        text.remove_prefix(length);
    while (const std::size_t length = trailingSpaceLength(text))
        text.remove_suffix(length);
    return text;
}

ResultConfirmation::ResultConfirmation(std::function<STTEngineDelegate *()> delegate)
    : m_delegate(std::move(delegate)) {}

void ResultConfirmation::reset() {
    m_dedupTracker.removeAll();
    m_maxConfirmedAudioEnd = MediaTime{0};
}

bool ResultConfirmation::accept(std::string_view candidate) {
    const std::string form = TranscriptionCore::normalizeForDedup(candidate);
    if (form.empty() || m_dedupTracker.isDuplicate(form))
        return false;
    m_dedupTracker.insert(form);
    return true;
}

void ResultConfirmation::deliver(const std::string &text, const std::vector<TextRun> &words) {
    if (STTEngineDelegate *delegate = m_delegate())
        delegate->addHeardLine(QString::fromStdString(text), words);
}

void ResultConfirmation::handleVolatileResult(std::string_view text) {
    std::size_t cursor = 0;
    std::vector<std::string> accepted;
    for (auto boundary = TranscriptionCore::findFirstSentenceBoundary(text, cursor); boundary;
         boundary = TranscriptionCore::findFirstSentenceBoundary(text, cursor)) {
        const std::size_t end = *boundary + characterLength(text, *boundary);
        const std::string_view sentence = trimSpaces(text.substr(cursor, end - cursor));
        if (!sentence.empty()) {
            if (accept(sentence))
                accepted.emplace_back(sentence);
            else
                qCInfo(lcSpeechText).noquote()
                    << "[Speech] SKIPPED duplicate (volatile): " + quoted(sentence);
        }
        cursor = end;
        if (cursor >= text.size())
            break;
    }

    const std::string_view interim = trimSpaces(text.substr(std::min(cursor, text.size())));
    if (STTEngineDelegate *delegate = m_delegate())
        delegate->setInterimText(
            QString::fromUtf8(interim.data(), static_cast<qsizetype>(interim.size())));
    for (const auto &sentence : accepted) {
        qCInfo(lcSpeechText).noquote() << "[Speech] CONFIRMED (punctuation): " + quoted(sentence);
        deliver(sentence);
    }
}

void ResultConfirmation::handleFinalResult(const RecognitionResult &result) {
    const std::string text = result.plainText();
    std::size_t cursor = 0;

    std::size_t runEnd = 0;
    for (const auto &run : result.runs) {
        if (!run.timeRange || run.timeRange->start >= m_maxConfirmedAudioEnd)
            break;
        runEnd += run.text.size();
        cursor = std::min(runEnd, text.size());
    }

    for (auto boundary = TranscriptionCore::findFirstSentenceBoundary(text, cursor); boundary;
         boundary = TranscriptionCore::findFirstSentenceBoundary(text, cursor)) {
        const std::size_t end = *boundary + characterLength(text, *boundary);
        const std::string sentence(trimSpaces(std::string_view(text).substr(cursor, end - cursor)));
        if (!sentence.empty()) {
            if (accept(sentence)) {
                qCInfo(lcSpeechText).noquote() << "[Speech] CONFIRMED (final): " + quoted(sentence);
                deliver(sentence, runsWithin(result.runs, text, cursor, end));
            } else {
                qCInfo(lcSpeechText).noquote()
                    << "[Speech] SKIPPED duplicate (final): " + quoted(sentence);
            }
        }
        cursor = end;
        if (cursor >= text.size())
            break;
    }

    const std::string tail(
        trimSpaces(std::string_view(text).substr(std::min(cursor, text.size()))));
    if (!tail.empty() && accept(tail)) {
        qCInfo(lcSpeechText).noquote() << "[Speech] CONFIRMED (final flush): " + quoted(tail);
        deliver(tail, runsWithin(result.runs, text, std::min(cursor, text.size()), text.size()));
    }

    for (auto run = result.runs.rbegin(); run != result.runs.rend(); ++run) {
        if (run->timeRange) {
            m_maxConfirmedAudioEnd = run->timeRange->end();
            break;
        }
    }
    if (STTEngineDelegate *delegate = m_delegate())
        delegate->setInterimText(QString());
    m_dedupTracker.removeAll();
}

} // namespace Orvinta
