#include <OrvintaApp/Dictation.h>

#include <OrvintaApp/AppLog.h>
#include <OrvintaApp/Observable.h>

namespace Orvinta {

void Dictation::setIsDictating(bool dictating) {
    assignNotifying(this, m_isDictating, dictating, &Dictation::isDictatingChanged);
}

void Dictation::setWantsDictating(bool wants) {
    assignNotifying(this, m_wantsDictating, wants, &Dictation::wantsDictatingChanged);
}

void Dictation::setDictationBuffer(const QString &buffer) {
    assignNotifying(this, m_dictationBuffer, buffer, &Dictation::dictationBufferChanged);
}

void Dictation::setDictationInterimText(const QString &text) {
    assignNotifying(this, m_dictationInterimText, text, &Dictation::dictationInterimTextChanged);
}

void Dictation::setDictationState(DictationState state) {
    assignNotifying(this, m_dictationState, state, &Dictation::dictationStateChanged);
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
