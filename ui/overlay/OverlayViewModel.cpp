#include <OrvintaUi/OverlayViewModel.h>

#include <OrvintaUi/CaptionStyle.h>
#include <OrvintaUi/OverlayLineModel.h>
#include <OrvintaUi/OverlaySettings.h>

#include <OrvintaApp/AppState.h>
#include <OrvintaApp/Clipboard.h>
#include <OrvintaApp/TranslationController.h>

#include <OrvintaEngineBackends/LocaleData.h>

#include <QTextBoundaryFinder>

#include <algorithm>

namespace Orvinta {

QStringList graphemeClusters(const QString &text) {
    QStringList clusters;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        if (end > start)
            clusters.append(text.mid(start, end - start));
        start = end;
    }
    return clusters;
}

QStringList wrapWords(const QString &text, int length) {
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > length) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

namespace {

/// Whether `prefix` is made of the first characters of `text`, comparing
/// user-perceived characters by canonical equivalence.
std::optional<qsizetype> characterPrefixLength(const QStringList &prefix, const QStringList &text) {
    if (prefix.size() > text.size())
        return std::nullopt;
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (prefix[i] != text[i] && prefix[i].normalized(QString::NormalizationForm_C) !=
                                        text[i].normalized(QString::NormalizationForm_C))
            return std::nullopt;
    }
    return prefix.size();
}

QString plural(int count, const char *noun) {
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(QLatin1String(noun))
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

QString languageLabel(const QString &identifier) {
    return QString::fromStdString(languageName(identifier.toStdString()));
}

} // namespace

OverlayViewModel::OverlayViewModel(AppState &state, OverlaySettings &settings, UiTheme &theme,
                                   std::shared_ptr<TranslationBackend> translator, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_settings(settings)
    , m_style(std::make_unique<CaptionStyle>(settings, theme))
    , m_lines(std::make_unique<OverlayLineModel>(*state.transcript()))
    , m_knownLineCount(state.transcript()->lineCount()) {
    m_typingTimer.setTimerType(Qt::PreciseTimer);
    m_typingTimer.setInterval(typewriterStep);
    connect(&m_typingTimer, &QTimer::timeout, this, &OverlayViewModel::typeNextChunk);
    m_autoHideTimer.setSingleShot(true);
    connect(&m_autoHideTimer, &QTimer::timeout, this, [this] { setAutoHidden(true); });
    // Search matches in the captions' own colours, inverted.
    const auto markLines = [this] {
        m_lines->setHighlightColors(m_style->mark(), m_style->markBackground());
    };
    markLines();
    connect(m_style.get(), &CaptionStyle::changed, this, markLines);
    connect(this, &OverlayViewModel::lineCountChanged, this, &OverlayViewModel::compactTextChanged);
    connect(this, &OverlayViewModel::displayedInterimChanged, this,
            &OverlayViewModel::compactTextChanged);
    m_copiedTimer.setSingleShot(true);
    m_copiedTimer.setInterval(copiedBadge);
    connect(&m_copiedTimer, &QTimer::timeout, this, [this] {
        m_copiedLine = QUuid();
        Q_EMIT copiedLineIdChanged();
    });
    m_undoTimer.setSingleShot(true);
    m_undoTimer.setInterval(undoWindow);
    connect(&m_undoTimer, &QTimer::timeout, this, [this] {
        m_deletion.reset();
        Q_EMIT undoChanged();
    });
    // Rows move under the selection as lines come, go and are filtered.
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(m_lines.get(), signal, this, &OverlayViewModel::selectionChanged);
    connect(m_lines.get(), &QAbstractItemModel::modelReset, this,
            &OverlayViewModel::selectionChanged);
    connect(m_lines.get(), &QAbstractItemModel::layoutChanged, this,
            &OverlayViewModel::selectionChanged);

    Transcript *transcript = state.transcript();
    // The view reacts before the translation hand-over, which connects later.
    connect(transcript, &Transcript::interimTextChanged, this,
            &OverlayViewModel::handleInterimTextChanged);
    connect(transcript, &Transcript::lineCountChanged, this,
            &OverlayViewModel::handleLineCountChanged);
    connect(m_lines.get(), &OverlayLineModel::countChanged, this,
            &OverlayViewModel::resultCountChanged);
    connect(&settings, &OverlaySettings::autoHideEnabledChanged, this,
            &OverlayViewModel::handleAutoHideEnabledChanged);

    ListeningController *listening = state.listening();
    for (const auto signal :
         {&ListeningController::isListeningChanged, &ListeningController::isModelLoadedChanged,
          &ListeningController::isTransitioningChanged})
        connect(listening, signal, this, &OverlayViewModel::listeningStateChanged);
    connect(listening, &ListeningController::isListeningChanged, this,
            &OverlayViewModel::placeholderChanged);
    for (const auto signal :
         {&ListeningController::waitingStatusChanged, &ListeningController::isReconnectingChanged})
        connect(listening, signal, this, &OverlayViewModel::placeholderChanged);
    connect(listening, &ListeningController::isListeningChanged, this,
            &OverlayViewModel::footerChanged);
    connect(state.preferences(), &Preferences::selectedLocaleChanged, this,
            &OverlayViewModel::languagesChanged);
    connect(state.preferences(), &Preferences::targetLanguageChanged, this,
            &OverlayViewModel::languagesChanged);
    connect(this, &OverlayViewModel::languagesChanged, this,
            &OverlayViewModel::interimTranslationChanged);

    m_translation = std::make_unique<TranslationController>(state, std::move(translator));
    connect(m_translation.get(), &TranslationController::translatedInterimChanged, this,
            &OverlayViewModel::interimTranslationChanged);

    if (!m_settings.autoHideEnabled())
        return;
    resetAutoHideTimer();
}

OverlayViewModel::~OverlayViewModel() = default;

QAbstractItemModel *OverlayViewModel::lines() const {
    return m_lines.get();
}

int OverlayViewModel::lineCount() const {
    return m_state.transcript()->lineCount();
}

void OverlayViewModel::setSearchQuery(const QString &query) {
    if (query == m_searchQuery)
        return;
    const bool wasSearching = !m_searchQuery.isEmpty();
    m_searchQuery = query;
    m_lines->setQuery(query);
    Q_EMIT searchQueryChanged();
    Q_EMIT resultCountChanged();
    Q_EMIT placeholderChanged();
    // Leaving the search shows the newest lines again, as before it.
    if (wasSearching && query.isEmpty() && m_stickToBottom)
        Q_EMIT scrollToBottomRequested();
}

int OverlayViewModel::resultCount() const {
    return m_lines->count();
}

QString OverlayViewModel::resultText() const {
    return plural(resultCount(), "result");
}

QString OverlayViewModel::interimTranslation() const {
    if (!shouldShowTranslation())
        return {};
    return m_translation->translatedInterim();
}

bool OverlayViewModel::shouldShowTranslation() const {
    return m_state.preferences()->selectedLocale() != m_state.preferences()->targetLanguage();
}

QString OverlayViewModel::sourceLabel() const {
    return languageLabel(m_state.preferences()->selectedLocale());
}

QString OverlayViewModel::targetLabel() const {
    return languageLabel(m_state.preferences()->targetLanguage());
}

OverlayViewModel::Placeholder OverlayViewModel::placeholder() const {
    if (!m_searchQuery.isEmpty())
        return Placeholder::None;
    if (!m_displayedInterim.isEmpty())
        return Placeholder::Interim;
    // Waiting for an application or the sound server is said below the lines too.
    if (!m_state.listening()->waitingStatus().isEmpty() || m_state.listening()->isReconnecting())
        return Placeholder::Listening;
    if (lineCount() > 0)
        return Placeholder::None;
    return isListening() ? Placeholder::Listening : Placeholder::Empty;
}

QString OverlayViewModel::listeningText() const {
    if (m_state.listening()->isReconnecting())
        return reconnectingText();
    const QString waiting = m_state.listening()->waitingStatus();
    return waiting.isEmpty() ? QStringLiteral("Listening...") : waiting;
}

bool OverlayViewModel::isListening() const {
    return m_state.listening()->isListening();
}

bool OverlayViewModel::canToggleListening() const {
    return m_state.listening()->isModelLoaded() && !m_state.listening()->isTransitioning();
}

bool OverlayViewModel::showIdle() const {
    return !isListening() && lineCount() > 0;
}

QString OverlayViewModel::countsText() const {
    return plural(lineCount(), "line") + QStringLiteral(" · ") +
           plural(m_state.transcript()->totalWordCount(), "word");
}

QString OverlayViewModel::closeToolTip() const {
    if (m_toggleOverlayShortcut.isEmpty())
        return QStringLiteral("Hide overlay");
    return QStringLiteral("Hide overlay (%1)").arg(m_toggleOverlayShortcut);
}

QString OverlayViewModel::copiedLineId() const {
    return m_copiedLine.isNull() ? QString() : m_copiedLine.toString(QUuid::WithoutBraces);
}

bool OverlayViewModel::hasPendingTimers() const {
    return m_typingTimer.isActive() || m_autoHideTimer.isActive() || m_copiedTimer.isActive() ||
           m_undoTimer.isActive() || m_translation->isBusy();
}

QString OverlayViewModel::selectedLineId() const {
    const QModelIndex index = selectedIndex();
    return index.isValid() ? index.data(Transcript::IdRole).toUuid().toString(QUuid::WithoutBraces)
                           : QString();
}

int OverlayViewModel::selectedRow() const {
    const QModelIndex index = selectedIndex();
    return index.isValid() ? index.row() : -1;
}

QModelIndex OverlayViewModel::selectedIndex() const {
    return m_selected.isValid() ? QModelIndex(m_selected) : QModelIndex();
}

QString OverlayViewModel::undoText() const {
    return m_deletion ? QString::fromUtf8("Line deleted — Undo") : QString();
}

QString OverlayViewModel::emptyTitle() const {
    return m_welcome ? QStringLiteral("Welcome to Orvinta") : QStringLiteral("Ready to transcribe");
}

void OverlayViewModel::setReducedMotion(bool reduced) {
    m_reducedMotion = reduced;
}

void OverlayViewModel::setWelcome(bool welcome) {
    if (welcome == m_welcome)
        return;
    m_welcome = welcome;
    Q_EMIT emptyTitleChanged();
}

void OverlayViewModel::setKeyboardActive(bool active) {
    if (active == m_keyboardActive)
        return;
    m_keyboardActive = active;
    if (active) {
        m_autoHideTimer.stop();
        setAutoHidden(false);
        return;
    }
    select({});
    resetAutoHideTimer();
}

void OverlayViewModel::setShortcutTexts(const QString &startStop, const QString &toggleOverlay) {
    if (startStop == m_startStopShortcut && toggleOverlay == m_toggleOverlayShortcut)
        return;
    m_startStopShortcut = startStop;
    m_toggleOverlayShortcut = toggleOverlay;
    Q_EMIT shortcutsChanged();
}

// --- Reactions to the transcript and the settings ----------------------------------

void OverlayViewModel::handleInterimTextChanged() {
    updateInterimText(m_state.transcript()->interimText());
    resetAutoHideTimer();
}

void OverlayViewModel::handleLineCountChanged() {
    const int count = lineCount();
    const int previous = std::exchange(m_knownLineCount, count);
    qCDebug(lcOverlay, "Overlay shows %d lines", count);
    // A line put back is no new speech: the interim text and the scrolling stay.
    if (m_restoring) {
        Q_EMIT lineCountChanged();
        Q_EMIT footerChanged();
        Q_EMIT placeholderChanged();
        return;
    }
    if (count > previous && m_settings.readAloud())
        Q_EMIT lineAnnounced(m_state.transcript()->confirmedLines().constLast().text);
    if (count > previous) {
        stopTyping();
        setDisplayedInterim(QString());
    }
    resetAutoHideTimer();
    if (count > previous && m_searchQuery.isEmpty()) {
        if (m_stickToBottom)
            Q_EMIT scrollToBottomRequested();
        else
            setScrollState(false, true);
    }
    // A query whose field is gone would hide every new line with no way to
    // clear it.
    if (!searchBarVisible())
        setSearchQuery(QString());
    Q_EMIT lineCountChanged();
    Q_EMIT footerChanged();
    Q_EMIT placeholderChanged();
}

void OverlayViewModel::handleAutoHideEnabledChanged() {
    if (m_settings.autoHideEnabled()) {
        resetAutoHideTimer();
        return;
    }
    m_autoHideTimer.stop();
    setAutoHidden(false);
}

// --- Typewriter ------------------------------------------------------------------

void OverlayViewModel::updateInterimText(const QString &text) {
    stopTyping();
    if (text.isEmpty()) {
        setDisplayedInterim(QString());
        return;
    }
    const QStringList shown = graphemeClusters(m_displayedInterim);
    const QStringList characters = graphemeClusters(text);
    const std::optional<qsizetype> prefix = characterPrefixLength(shown, characters);
    if (!prefix) {
        // The recogniser revised earlier words: show the new text at once.
        setDisplayedInterim(text);
        return;
    }
    m_pendingCharacters = characters.mid(*prefix);
    if (m_pendingCharacters.isEmpty())
        return;
    typeNextChunk();
    if (!m_pendingCharacters.isEmpty()) {
        m_typingTimer.start();
        Q_EMIT typingChanged();
    }
}

void OverlayViewModel::typeNextChunk() {
    qsizetype take = std::min<qsizetype>(typewriterChunk, m_pendingCharacters.size());
    if (m_reducedMotion) {
        // A word and the spaces after it: words appear, letters do not move.
        const auto isSpace = [](const QString &character) { return character.trimmed().isEmpty(); };
        const qsizetype size = m_pendingCharacters.size();
        take = 0;
        while (take < size && isSpace(m_pendingCharacters[take]))
            ++take;
        while (take < size && !isSpace(m_pendingCharacters[take]))
            ++take;
        while (take < size && isSpace(m_pendingCharacters[take]))
            ++take;
    }
    QString chunk;
    for (qsizetype i = 0; i < take; ++i)
        chunk += m_pendingCharacters[i];
    m_pendingCharacters.remove(0, take);
    setDisplayedInterim(m_displayedInterim + chunk);
    if (m_pendingCharacters.isEmpty())
        stopTyping();
}

void OverlayViewModel::stopTyping() {
    m_pendingCharacters.clear();
    if (!m_typingTimer.isActive())
        return;
    m_typingTimer.stop();
    Q_EMIT typingChanged();
}

void OverlayViewModel::setDisplayedInterim(const QString &text) {
    if (text == m_displayedInterim)
        return;
    const bool wasEmpty = m_displayedInterim.isEmpty();
    m_displayedInterim = text;
    Q_EMIT displayedInterimChanged();
    if (wasEmpty != text.isEmpty())
        Q_EMIT placeholderChanged();
    if (m_stickToBottom && m_searchQuery.isEmpty())
        Q_EMIT scrollToBottomRequested();
}

// --- Auto-hide -------------------------------------------------------------------

void OverlayViewModel::resetAutoHideTimer() {
    m_autoHideTimer.stop();
    setAutoHidden(false);
    if (!m_settings.autoHideEnabled() || m_keyboardActive)
        return;
    const double seconds = std::max(0.0, m_settings.autoHideDelay());
    // QTimer counts in int milliseconds; a day is as good as forever here.
    m_autoHideTimer.start(static_cast<int>(std::min(seconds, 86400.0) * 1000));
}

void OverlayViewModel::setAutoHidden(bool hidden) {
    if (hidden == m_isAutoHidden)
        return;
    m_isAutoHidden = hidden;
    Q_EMIT isAutoHiddenChanged();
}

// --- Scrolling -------------------------------------------------------------------

void OverlayViewModel::updateScrollMetrics(bool atBottom, int contentHeight) {
    const std::optional<int> previousHeight = std::exchange(m_contentHeight, contentHeight);
    if (atBottom)
        setScrollState(true, false);
    else if (previousHeight == contentHeight && lineCount() >= unpinMinimumLines &&
             m_searchQuery.isEmpty())
        setScrollState(false, m_hasNewLines);
    if (m_stickToBottom && previousHeight && contentHeight > *previousHeight)
        Q_EMIT scrollToBottomRequested();
}

void OverlayViewModel::jumpToNewLines() {
    setScrollState(true, false);
    Q_EMIT scrollToBottomRequested();
}

void OverlayViewModel::setScrollState(bool stickToBottom, bool hasNewLines) {
    if (stickToBottom == m_stickToBottom && hasNewLines == m_hasNewLines)
        return;
    m_stickToBottom = stickToBottom;
    m_hasNewLines = hasNewLines;
    Q_EMIT scrollStateChanged();
}

// --- Actions ---------------------------------------------------------------------

void OverlayViewModel::copyLine(const QString &lineId, const QString &text) {
    writeClipboard(text);
    m_copiedLine = QUuid::fromString(lineId);
    Q_EMIT copiedLineIdChanged();
    m_copiedTimer.start();
}

void OverlayViewModel::copyText(const QString &text) {
    writeClipboard(text);
}

void OverlayViewModel::writeClipboard(const QString &text) {
    m_state.transcript()->copyText(text);
}

void OverlayViewModel::deleteLine(const QString &lineId) {
    const QUuid id = QUuid::fromString(lineId);
    if (id.isNull())
        return;
    Transcript &transcript = *m_state.transcript();
    const QList<ConfirmedLine> &lines = transcript.confirmedLines();
    const auto found = std::find_if(lines.cbegin(), lines.cend(),
                                    [&id](const ConfirmedLine &line) { return line.id == id; });
    if (found == lines.cend())
        return;
    const int selected = selectedLineId() == lineId ? selectedRow() : -1;
    m_deletion = Deletion{*found, int(found - lines.cbegin()), transcript.translations().value(id)};
    transcript.deleteLine(id);
    m_undoTimer.start();
    Q_EMIT undoChanged();
    // The keyboard stays in the list: on the line that took the deleted one's place.
    if (selected >= 0 && m_lines->rowCount() > 0)
        select(m_lines->index(std::min(selected, m_lines->rowCount() - 1), 0));
}

void OverlayViewModel::undoDelete() {
    if (!m_deletion)
        return;
    const Deletion deletion = *std::exchange(m_deletion, std::nullopt);
    m_undoTimer.stop();
    m_restoring = true;
    m_state.transcript()->restoreLine(deletion.row, deletion.line, deletion.translation);
    m_restoring = false;
    Q_EMIT undoChanged();
    if (!m_keyboardActive)
        return;
    for (int row = 0; row < m_lines->rowCount(); ++row)
        if (m_lines->index(row, 0).data(Transcript::IdRole).toUuid() == deletion.line.id)
            select(m_lines->index(row, 0));
}

void OverlayViewModel::select(const QModelIndex &index) {
    if (QModelIndex(m_selected) == index)
        return;
    m_selected = index;
    Q_EMIT selectionChanged();
}

void OverlayViewModel::selectNewest() {
    const int rows = m_lines->rowCount();
    select(rows > 0 ? m_lines->index(rows - 1, 0) : QModelIndex());
}

void OverlayViewModel::listFocused() {
    if (!selectedIndex().isValid())
        selectNewest();
}

void OverlayViewModel::moveSelection(int step) {
    const int rows = m_lines->rowCount();
    if (rows == 0)
        return;
    const int from = selectedRow() < 0 ? rows - 1 : selectedRow();
    select(m_lines->index(std::clamp(from + step, 0, rows - 1), 0));
}

bool OverlayViewModel::handleListKey(int key, int modifiers) {
    const auto mods = Qt::KeyboardModifiers(modifiers) & ~Qt::KeypadModifier;
    const bool control = mods == Qt::ControlModifier;
    const QModelIndex selected = selectedIndex();
    const QString id = selectedLineId();
    switch (key) {
    case Qt::Key_Up:
        moveSelection(-1);
        return true;
    case Qt::Key_Down:
        moveSelection(1);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_Home:
        moveSelection(-m_lines->rowCount());
        return true;
    case Qt::Key_PageDown:
    case Qt::Key_End:
        moveSelection(m_lines->rowCount());
        return true;
    case Qt::Key_C:
        if (!control || !selected.isValid())
            return false;
        copyLine(id, selected.data(Transcript::TextRole).toString());
        return true;
    case Qt::Key_Delete:
        deleteLine(id);
        return true;
    case Qt::Key_Z:
        if (!control)
            return false;
        undoDelete();
        return true;
    case Qt::Key_F10:
        if (mods != Qt::ShiftModifier)
            return false;
        [[fallthrough]];
    case Qt::Key_Menu:
        if (selected.isValid())
            Q_EMIT lineMenuRequested(id, selected.data(Transcript::TextRole).toString(),
                                     shouldShowTranslation()
                                         ? selected.data(Transcript::TranslationRole).toString()
                                         : QString());
        return true;
    case Qt::Key_F:
        if (!control)
            return false;
        [[fallthrough]];
    case Qt::Key_Slash:
        if (!searchBarVisible())
            return false;
        Q_EMIT searchRequested();
        return true;
    case Qt::Key_Escape:
        Q_EMIT keyboardReleaseRequested();
        return true;
    default:
        return false;
    }
}

void OverlayViewModel::toggleListening() {
    if (canToggleListening())
        m_state.listening()->toggleListening();
}

void OverlayViewModel::hideOverlay() {
    m_state.toggleOverlay();
}

QString OverlayViewModel::compactInterim() const {
    const QStringList lines = wrapWords(m_displayedInterim, compactLineLength);
    return lines.isEmpty() ? QString() : lines.last();
}

QString OverlayViewModel::compactText() const {
    const int room = compactLineCount - (compactInterim().isEmpty() ? 0 : 1);
    // The newest lines, enough of them to fill the room.
    const QList<ConfirmedLine> &confirmed = m_state.transcript()->confirmedLines();
    QStringList words;
    int characters = 0;
    for (auto line = confirmed.crbegin();
         line != confirmed.crend() && characters < room * compactLineLength; ++line) {
        // As subtitles name a speaker: where the side of a call changes.
        const auto before = std::next(line);
        const bool named = before == confirmed.crend() || before->speaker != line->speaker;
        words.prepend(named ? labelledText(*line) : line->text);
        characters += int(words.first().size()) + 1;
    }
    const QStringList lines = wrapWords(words.join(QLatin1Char(' ')), compactLineLength);
    return lines.mid(std::max<qsizetype>(0, lines.size() - room)).join(QLatin1Char('\n'));
}

} // namespace Orvinta
