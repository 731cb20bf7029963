#include <OrvintaApp/Dictation.h>

#include <OrvintaApp/AppLog.h>

namespace Orvinta {

namespace {
template <class T> bool assign(T &field, const T &value) {
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void Dictation::setIsDictating(bool dictating) {
    if (assign(m_isDictating, dictating))
        Q_EMIT isDictatingChanged();
}

void Dictation::setWantsDictating(bool wants) {
    if (assign(m_wantsDictating, wants))
        Q_EMIT wantsDictatingChanged();
}

void Dictation::setDictationBuffer(const QString &buffer) {
    if (assign(m_dictationBuffer, buffer))
        Q_EMIT dictationBufferChanged();
}

void Dictation::setDictationInterimText(const QString &text) {
    if (assign(m_dictationInterimText, text))
        Q_EMIT dictationInterimTextChanged();
}

void Dictation::setDictationState(DictationState state) {
    if (assign(m_dictationState, state))
        Q_EMIT dictationStateChanged();
}

DictationController::DictationController(Dictation &dictation, QObject *parent)
    : QObject(parent)
    , m_dictation(dictation) {}

DictationController::~DictationController() {
    cancelTask(m_reconcileTask);
}

void DictationController::collect(const QString &text) {
    QString buffer = m_dictation.dictationBuffer();
    if (!buffer.isEmpty())
        buffer += QLatin1Char(' ');
    m_dictation.setDictationBuffer(buffer + text);
    m_dictation.setDictationInterimText(QString());
    qCInfo(lcTranscriptText, "dictation buffer: \"%s\"",
           qUtf8Printable(m_dictation.dictationBuffer()));
}

} // namespace Orvinta
