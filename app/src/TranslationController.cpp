#include <OrvintaApp/TranslationController.h>

#include <OrvintaApp/AppState.h>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcOverlay, "com.orvinta.Overlay")

namespace Orvinta {
namespace {

/// The words of a text, without case, punctuation or spacing.
QString comparableWords(const QString &text) {
    QString words;
    for (const QChar c : text.toCaseFolded()) {
        if (c.isLetterOrNumber())
            words += c;
    }
    return words;
}

} // namespace

TranslationController::TranslationController(AppState &state,
                                             std::shared_ptr<TranslationBackend> backend,
                                             std::chrono::milliseconds interimDelay,
                                             QObject *parent)
    : QObject(parent)
    , m_state(&state)
    , m_translator(std::move(backend))
    , m_interimDelay(interimDelay)
    , m_lineCount(state.transcript()->lineCount()) {
    m_translator.setAction(
        [this](std::shared_ptr<TranslationSession> session, CancellationToken token) {
            return performTranslation(std::move(session), std::move(token));
        });
    connect(state.listening(), &ListeningController::isListeningChanged, this,
            &TranslationController::handleListeningChanged);
    connect(state.preferences(), &Preferences::selectedLocaleChanged, this,
            &TranslationController::handleLanguageChanged);
    connect(state.preferences(), &Preferences::targetLanguageChanged, this,
            &TranslationController::handleLanguageChanged);
    connect(state.transcript(), &Transcript::lineCountChanged, this,
            &TranslationController::handleLineCountChanged);
    connect(state.transcript(), &Transcript::interimTextChanged, this, [this] {
        if (m_state)
            scheduleInterimTranslation(m_state->transcript()->interimText());
    });
}

TranslationController::~TranslationController() {
    cancelTask(m_interimTranslationTask);
}

bool TranslationController::shouldShowTranslation() const {
    return m_state &&
           m_state->preferences()->selectedLocale() != m_state->preferences()->targetLanguage();
}

bool TranslationController::isBusy() const {
    return m_translator.isRunning() ||
           (m_interimTranslationTask && !m_interimTranslationTask->isFinished());
}

TranslationConfiguration TranslationController::makeTranslationConfig() const {
    return TranslationConfiguration{m_state->preferences()->selectedLocale(),
                                    m_state->preferences()->targetLanguage()};
}

void TranslationController::handleListeningChanged() {
    if (m_state && m_state->listening()->isListening() && shouldShowTranslation() &&
        !m_translator.configuration())
        m_translator.setConfiguration(makeTranslationConfig());
}

void TranslationController::handleLanguageChanged() {
    m_retranslateAll = true;
    setTranslatedInterim({});
    m_translationSessionReady = false;
    m_provisional.clear();
    m_translator.setConfiguration(std::nullopt);
    Q_EMIT shouldShowTranslationChanged();
}

void TranslationController::handleLineCountChanged() {
    if (!m_state)
        return;
    const qsizetype oldCount = std::exchange(m_lineCount, m_state->transcript()->lineCount());
    if (m_lineCount == oldCount)
        return;
    cancelTask(m_interimTranslationTask);
    const QList<ConfirmedLine> &lines = m_state->transcript()->confirmedLines();
    if (m_lineCount > oldCount && shouldShowTranslation() && !m_translatedInterim.isEmpty() &&
        !lines.isEmpty()) {
        // Shown at once; an interim text that is not the line's final text
        // leaves a translation of a different sentence, so it is replaced.
        const ConfirmedLine &line = lines.last();
        if (comparableWords(m_translatedInterimSource) != comparableWords(line.text))
            m_provisional.insert(line.id);
        const QUuid id = line.id;
        m_state->setTranslation(m_translatedInterim, id);
        Q_EMIT translationDelivered(id, false);
    }
    if (m_lineCount < oldCount) {
        QSet<QUuid> present;
        for (const ConfirmedLine &line : lines)
            present.insert(line.id);
        m_provisional.intersect(present);
    }
    setTranslatedInterim({});
    if (shouldShowTranslation() && m_translationSessionReady)
        m_translator.invalidate();
}

void TranslationController::scheduleInterimTranslation(const QString &text) {
    cancelTask(m_interimTranslationTask);
    if (shouldShowTranslation() && !text.isEmpty() && m_translationSessionReady) {
        m_interimTranslationTask = CancellableTask::start(
            [self = QPointer(this), delay = m_interimDelay](CancellationToken token) {
                return invalidateAfter(self, delay, std::move(token));
            });
        return;
    }
    if (!shouldShowTranslation())
        setTranslatedInterim({});
}

QCoro::Task<> TranslationController::invalidateAfter(QPointer<TranslationController> self,
                                                     std::chrono::milliseconds delay,
                                                     CancellationToken token) {
    // GCC 12 miscompiles a co_await inside a short-circuit condition.
    const bool slept = co_await token.sleep(delay);
    if (!slept || !self)
        co_return;
    if (self->m_translator.configuration())
        self->m_translator.invalidate();
}

void TranslationController::setTranslatedInterim(const QString &text, const QString &source) {
    m_translatedInterimSource = text.isEmpty() ? QString() : source;
    if (text == m_translatedInterim)
        return;
    m_translatedInterim = text;
    Q_EMIT translatedInterimChanged();
}

QCoro::Task<> TranslationController::performTranslation(std::shared_ptr<TranslationSession> session,
                                                        CancellationToken token) {
    // The controller may be gone when a wait ends; every wait is followed by
    // a check of the token, which its destruction cancels.
    const QPointer<TranslationController> self(this);
    const QPointer<AppState> state = m_state;
    if (!state)
        co_return;
    m_translationSessionReady = true;
    const bool translateAll = std::exchange(m_retranslateAll, false);

    const QString sentInterim = state->transcript()->interimText();
    if (!sentInterim.isEmpty()) {
        std::optional<QString> translated;
        try {
            translated = co_await session->translate(sentInterim);
        } catch (const TranslationError &) {
        }
        if (token.isCancelled() || !self || !state)
            co_return;
        if (!translated)
            setTranslatedInterim({});
        else if (state->transcript()->interimText() == sentInterim)
            setTranslatedInterim(*translated, sentInterim);
    }

    QList<TranslationRequest> requests;
    const QList<ConfirmedLine> &lines = state->transcript()->confirmedLines();
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (translateAll || !state->transcript()->translations().contains(line->id) ||
            m_provisional.contains(line->id))
            requests.append(
                TranslationRequest{line->text, line->id.toString(QUuid::WithoutBraces).toUpper()});
    }
    if (requests.isEmpty()) {
        Q_EMIT passFinished();
        co_return;
    }

    const bool animated = requests.size() == 1;
    try {
        TranslationBatch batch = session->translations(std::move(requests));
        while (const std::optional<TranslationResponse> response = co_await batch.next()) {
            if (token.isCancelled() || !self || !state)
                co_return;
            const QUuid id = QUuid::fromString(response->clientIdentifier);
            if (id.isNull())
                continue;
            m_provisional.remove(id);
            state->setTranslation(response->targetText, id);
            Q_EMIT translationDelivered(id, animated);
        }
    } catch (const TranslationError &error) {
        if (token.isCancelled() || !self)
            co_return;
        qCCritical(lcOverlay, "Translation batch failed: %s", error.what());
    }
    if (token.isCancelled() || !self)
        co_return;
    Q_EMIT passFinished();
}

} // namespace Orvinta
