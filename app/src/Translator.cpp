#include <OrvintaApp/Translator.h>

#include <OrvintaApp/AppLog.h>

#include <OrvintaEngine/MainThread.h>

#include <atomic>
#include <chrono>
#include <deque>

namespace Orvinta {
namespace detail {

/// Where the worker delivers a batch's results. The worker reads only
/// `stopped`; the rest lives on the main thread.
struct TranslationChannel {
    std::deque<TranslationResponse> responses;
    std::optional<QString> error;
    bool finished = false;
    /// Set by the main thread when nobody waits for further responses.
    std::atomic<bool> stopped{false};
    /// What next() waits on while nothing new has arrived.
    std::weak_ptr<Completion<bool>> arrival;

    /// From the worker: applies `update` on the main thread and wakes next().
    static void deliver(std::shared_ptr<TranslationChannel> channel,
                        std::function<void(TranslationChannel &)> update) {
        postToMainThread([channel = std::move(channel), update = std::move(update)] {
            update(*channel);
            if (const auto waiting = channel->arrival.lock())
                waiting->complete(true);
        });
    }
};

namespace {

QString shutDownMessage() {
    return QStringLiteral("The translator has been shut down");
}

/// Translates `requests` in order on the worker, handing each response to
/// `channel` as it comes, until the batch is stopped or the translator closed.
void translateBatch(TranslationBackend &backend, const std::atomic<bool> &closed,
                    const std::shared_ptr<TranslationChannel> &channel, const std::string &from,
                    const std::string &to, const QList<TranslationRequest> &requests) {
    for (const TranslationRequest &request : requests) {
        if (channel->stopped.load() || closed.load())
            break;
        QString error;
        TranslationResponse response{request.clientIdentifier, request.sourceText, {}};
        const std::string text = request.sourceText.toStdString();
        for (int attempt = 0;; ++attempt) {
            try {
                response.targetText = QString::fromStdString(backend.translate(from, to, text));
            } catch (const TranslationCancelled &failure) {
                if (closed.load())
                    error = shutDownMessage();
                else if (channel->stopped.load())
                    return;
                else if (attempt == 0)
                    continue; // cancelled for another user of a shared back end
                else
                    error = QString::fromUtf8(failure.what());
            } catch (const std::exception &failure) {
                error = QString::fromUtf8(failure.what());
            } catch (...) {
                error = QStringLiteral("Translation failed");
            }
            break;
        }
        if (!error.isEmpty()) {
            TranslationChannel::deliver(channel, [error](TranslationChannel &target) {
                target.error = error;
                target.finished = true;
            });
            return;
        }
        TranslationChannel::deliver(channel,
                                    [response = std::move(response)](TranslationChannel &target) {
                                        target.responses.push_back(response);
                                    });
    }
    TranslationChannel::deliver(channel,
                                [](TranslationChannel &target) { target.finished = true; });
}

} // namespace

/// One worker per translator, so the back end sees one request at a time.
class TranslationWorker {
public:
    explicit TranslationWorker(std::shared_ptr<TranslationBackend> backend)
        : m_backend(std::move(backend))
        , m_worker(makeSerialWorker("orvinta-translate", lcTasks)) {}

    ~TranslationWorker() { close(); }

    /// Stops the queued work, cancels the request in progress and waits for
    /// the worker to leave the back end.
    void close() {
        m_closed->store(true);
        // Cancelling again covers a request that started after a cancel.
        do {
            if (m_backend)
                m_backend->cancel();
        } while (!m_worker->waitUntilIdle(std::chrono::milliseconds(20)));
    }

    std::shared_ptr<TranslationChannel> start(const TranslationConfiguration &configuration,
                                              QList<TranslationRequest> requests) {
        auto channel = std::make_shared<TranslationChannel>();
        if (m_closed->load() || !m_backend) {
            channel->error =
                m_backend ? shutDownMessage() : QStringLiteral("No translator is installed");
            channel->finished = true;
            return channel;
        }
        m_worker->post([backend = m_backend, closed = m_closed, channel,
                        from = configuration.source.toStdString(),
                        to = configuration.target.toStdString(), requests = std::move(requests)] {
            translateBatch(*backend, *closed, channel, from, to, requests);
        });
        return channel;
    }

private:
    std::shared_ptr<TranslationBackend> m_backend;
    std::shared_ptr<std::atomic<bool>> m_closed = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<SerialWorker> m_worker;
};

} // namespace detail

TranslationBatch::TranslationBatch(std::shared_ptr<detail::TranslationChannel> channel)
    : m_channel(std::move(channel)) {}

TranslationBatch::~TranslationBatch() {
    if (m_channel)
        m_channel->stopped.store(true);
}

QCoro::Task<std::optional<TranslationResponse>> TranslationBatch::next() {
    const auto channel = m_channel;
    while (channel->responses.empty() && !channel->finished) {
        const auto arrival = Completion<bool>::create();
        channel->arrival = arrival;
        QCoro::Task<bool> waiting = arrival->wait(std::chrono::milliseconds(-1));
        co_await waiting;
    }
    if (!channel->responses.empty()) {
        TranslationResponse response = std::move(channel->responses.front());
        channel->responses.pop_front();
        co_return response;
    }
    if (channel->error)
        throw TranslationError(channel->error->toStdString());
    co_return std::nullopt;
}

TranslationSession::TranslationSession(TranslationConfiguration configuration,
                                       std::shared_ptr<detail::TranslationWorker> worker)
    : m_configuration(std::move(configuration))
    , m_worker(std::move(worker)) {}

QCoro::Task<QString> TranslationSession::translate(const QString &text) {
    TranslationBatch batch = translations({TranslationRequest{text, {}}});
    const std::optional<TranslationResponse> response = co_await batch.next();
    if (!response)
        throw TranslationError("The translator gave no answer");
    co_return response->targetText;
}

TranslationBatch TranslationSession::translations(QList<TranslationRequest> requests) {
    return TranslationBatch(m_worker->start(m_configuration, std::move(requests)));
}

namespace {

QCoro::Task<> runAction(Translator::Action action, std::shared_ptr<TranslationSession> session,
                        CancellationToken token) {
    // Runs after the change that asked for it has completed, and only once
    // for several requests in the same turn.
    QCoro::Task<> yielding = yieldMainThread();
    co_await yielding;
    if (token.isCancelled())
        co_return;
    // Named before awaiting: GCC 12 destroys temporaries inside a co_await operand twice.
    QCoro::Task<> running = action(std::move(session), std::move(token));
    co_await running;
}

} // namespace

Translator::Translator(std::shared_ptr<TranslationBackend> backend, QObject *parent)
    : QObject(parent)
    , m_worker(std::make_shared<detail::TranslationWorker>(std::move(backend))) {}

Translator::~Translator() {
    cancelTask(m_running);
    m_worker->close();
}

void Translator::setAction(Action action) {
    m_action = std::move(action);
}

void Translator::setConfiguration(const std::optional<TranslationConfiguration> &configuration) {
    if (configuration == m_configuration)
        return;
    cancelTask(m_running);
    m_configuration = configuration;
    m_session =
        configuration ? std::make_shared<TranslationSession>(*configuration, m_worker) : nullptr;
    if (m_session)
        run();
}

void Translator::invalidate() {
    if (!m_session)
        return;
    cancelTask(m_running);
    run();
}

bool Translator::isRunning() const {
    return m_running && !m_running->isFinished();
}

QCoro::Task<> Translator::idle() const {
    const TaskHandle running = m_running;
    if (running && !running->isFinished())
        co_await running->finished();
}

void Translator::run() {
    if (!m_action)
        return;
    m_running =
        CancellableTask::start([action = m_action, session = m_session](CancellationToken token) {
            return runAction(action, session, std::move(token));
        });
}

} // namespace Orvinta
