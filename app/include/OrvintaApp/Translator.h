#pragma once

#include <OrvintaApp/CancellableTask.h>
#include <OrvintaTranslationBackends/TranslationBackend.h>

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Orvinta {

namespace detail {
class TranslationWorker;
struct TranslationChannel;
} // namespace detail

/// The two languages of a translation session, as locale identifiers.
struct TranslationConfiguration {
    QString source;
    QString target;
    friend bool operator==(const TranslationConfiguration &,
                           const TranslationConfiguration &) = default;
};

/// One text of a batch, with the caller's identifier for its response.
struct TranslationRequest {
    QString sourceText;
    QString clientIdentifier;
};

struct TranslationResponse {
    QString clientIdentifier;
    QString sourceText;
    QString targetText;
};

/// The responses of one batch, in request order, as they arrive. Destroying
/// the batch stops the work on the requests not yet translated; the one in
/// progress runs to its end and its result is dropped.
class TranslationBatch {
public:
    explicit TranslationBatch(std::shared_ptr<detail::TranslationChannel> channel);
    ~TranslationBatch();
    TranslationBatch(TranslationBatch &&) noexcept = default;
    TranslationBatch &operator=(TranslationBatch &&) noexcept = default;

    /// The next response, or none after the last one; throws TranslationError
    /// when the batch fails (responses delivered before stay valid).
    QCoro::Task<std::optional<TranslationResponse>> next();

private:
    std::shared_ptr<detail::TranslationChannel> m_channel;
};

/// A session bound to one configuration. Its work runs on the translator's
/// worker thread; results come back on the main thread.
class TranslationSession {
public:
    TranslationSession(TranslationConfiguration configuration,
                       std::shared_ptr<detail::TranslationWorker> worker);

    const TranslationConfiguration &configuration() const { return m_configuration; }
    /// Translates one text; throws TranslationError.
    QCoro::Task<QString> translate(const QString &text);
    /// Translates the requests one after the other, delivering each response as it comes.
    TranslationBatch translations(QList<TranslationRequest> requests);

private:
    TranslationConfiguration m_configuration;
    std::shared_ptr<detail::TranslationWorker> m_worker;
};

/// Runs an action with a translation session whenever a configuration is set
/// and each time it is invalidated; a new run cancels the running one.
/// Lives on the main thread. Destroying it cancels the request in progress
/// and waits only for the back end to give it up.
class Translator : public QObject {
    Q_OBJECT

public:
    using Action =
        std::function<QCoro::Task<>(std::shared_ptr<TranslationSession>, CancellationToken)>;

    explicit Translator(std::shared_ptr<TranslationBackend> backend, QObject *parent = nullptr);
    ~Translator() override;

    /// The action that each run performs.
    void setAction(Action action);
    /// Binds a session to `configuration` and runs the action; none ends the
    /// session and cancels a running action. Setting the same configuration
    /// again changes nothing.
    void setConfiguration(const std::optional<TranslationConfiguration> &configuration);
    const std::optional<TranslationConfiguration> &configuration() const { return m_configuration; }
    /// Runs the action again with the same session, if a configuration is set.
    void invalidate();
    /// Whether an action is running.
    bool isRunning() const;
    /// Completes when the running action (if any) has ended.
    QCoro::Task<> idle() const;

private:
    void run();

    std::shared_ptr<detail::TranslationWorker> m_worker;
    std::optional<TranslationConfiguration> m_configuration;
    std::shared_ptr<TranslationSession> m_session;
    Action m_action;
    TaskHandle m_running;
};

} // namespace Orvinta
