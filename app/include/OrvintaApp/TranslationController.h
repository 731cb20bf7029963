#pragma once

#include <OrvintaApp/CancellableTask.h>
#include <OrvintaApp/Translator.h>

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <memory>
#include <optional>

Q_DECLARE_LOGGING_CATEGORY(lcOverlay)

namespace Orvinta {

class AppState;

/// The translation state and logic that the overlay view owns: it watches the
/// application state, runs translation passes (interim text first, then the
/// untranslated lines newest first) and stores every result through
/// AppState::setTranslation. Lives on the main thread.
class TranslationController : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString translatedInterim READ translatedInterim NOTIFY translatedInterimChanged)
    Q_PROPERTY(
        bool shouldShowTranslation READ shouldShowTranslation NOTIFY shouldShowTranslationChanged)

public:
    static constexpr std::chrono::milliseconds defaultInterimDelay{300};

    TranslationController(AppState &state, std::shared_ptr<TranslationBackend> backend,
                          std::chrono::milliseconds interimDelay = defaultInterimDelay,
                          QObject *parent = nullptr);
    ~TranslationController() override;

    const std::optional<TranslationConfiguration> &translationConfig() const {
        return m_translator.configuration();
    }
    QString translatedInterim() const { return m_translatedInterim; }
    bool retranslateAll() const { return m_retranslateAll; }
    bool translationSessionReady() const { return m_translationSessionReady; }
    /// True when the recognition and target identifiers differ (exactly).
    bool shouldShowTranslation() const;
    TranslationConfiguration makeTranslationConfig() const;

    /// Debounced pass for a new interim text.
    void scheduleInterimTranslation(const QString &text);
    /// Whether a pass runs or a debounced one is pending.
    bool isBusy() const;

Q_SIGNALS:
    void translatedInterimChanged();
    void shouldShowTranslationChanged();
    /// A pass ran to its end without being cancelled.
    void passFinished();
    /// A translation was handed to AppState::setTranslation; the view animates
    /// its appearance when `animated` is true.
    void translationDelivered(const QUuid &id, bool animated);

private:
    QCoro::Task<> performTranslation(std::shared_ptr<TranslationSession> session,
                                     CancellationToken token);
    static QCoro::Task<> invalidateAfter(QPointer<TranslationController> self,
                                         std::chrono::milliseconds delay, CancellationToken token);
    void handleListeningChanged();
    void handleLanguageChanged();
    void handleLineCountChanged();
    void setTranslatedInterim(const QString &text, const QString &source = {});

    QPointer<AppState> m_state;
    Translator m_translator;
    std::chrono::milliseconds m_interimDelay;
    QString m_translatedInterim;
    /// The interim text that m_translatedInterim translates.
    QString m_translatedInterimSource;
    bool m_retranslateAll = false;
    TaskHandle m_interimTranslationTask;
    bool m_translationSessionReady = false;
    qsizetype m_lineCount = 0;
    /// Lines that got the translation of an interim text that differs from
    /// their final text; the next pass replaces it.
    QSet<QUuid> m_provisional;
};

} // namespace Orvinta
