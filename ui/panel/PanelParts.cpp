#include <OrvintaUi/PanelParts.h>

namespace Orvinta {

void PanelStatus::set(const QString &text, const QString &spokenText) {
    if (text != m_text) {
        m_text = text;
        Q_EMIT textChanged();
    }
    if (spokenText != m_spokenText) {
        m_spokenText = spokenText;
        Q_EMIT spokenTextChanged();
    }
}

SetupNotice::SetupNotice(bool required, const QString &packageName,
                         std::chrono::milliseconds confirmFor,
                         std::function<void(const QString &)> copy, QObject *parent)
    : QObject(parent)
    , m_required(required)
    , m_packageName(packageName)
    , m_copy(std::move(copy)) {
    m_confirmTimer.setSingleShot(true);
    m_confirmTimer.setInterval(confirmFor);
    connect(&m_confirmTimer, &QTimer::timeout, this, &SetupNotice::copiedChanged);
}

QString SetupNotice::installCommand() const {
    return QStringLiteral("sudo apt install ") + m_packageName;
}

void SetupNotice::copyCommand() {
    if (m_copy)
        m_copy(installCommand());
    const bool was = copied();
    m_confirmTimer.start();
    if (!was)
        Q_EMIT copiedChanged();
}

} // namespace Orvinta
