#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <functional>

namespace Orvinta {

/// The header's status: the visible text, which ticks with the recording
/// time, and what a screen reader hears, which changes only with the
/// activity and by the whole minute.
class PanelStatus : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The panel's view model owns its status")
    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    /// "Idle", "Dictating", "Listening", "Listening, 2 minutes".
    Q_PROPERTY(QString spokenText READ spokenText NOTIFY spokenTextChanged)

public:
    using QObject::QObject;

    QString text() const { return m_text; }
    QString spokenText() const { return m_spokenText; }
    void set(const QString &text, const QString &spokenText);

Q_SIGNALS:
    void textChanged();
    void spokenTextChanged();

private:
    QString m_text;
    QString m_spokenText;
};

/// What stands in place of the panel while the speech model is missing:
/// the package that brings it, and the command that installs it, to copy.
class SetupNotice : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The panel's view model owns its setup notice")
    Q_PROPERTY(bool required READ required CONSTANT)
    Q_PROPERTY(QString packageName READ packageName CONSTANT)
    Q_PROPERTY(QString installCommand READ installCommand CONSTANT)
    /// The command was just copied: the button says so for a while.
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)

public:
    /// `copy` puts a text on the clipboard.
    SetupNotice(bool required, const QString &packageName, std::chrono::milliseconds confirmFor,
                std::function<void(const QString &)> copy, QObject *parent = nullptr);

    bool required() const { return m_required; }
    QString packageName() const { return m_packageName; }
    QString installCommand() const;
    bool copied() const { return m_confirmTimer.isActive(); }

    Q_INVOKABLE void copyCommand();

Q_SIGNALS:
    void copiedChanged();

private:
    bool m_required;
    QString m_packageName;
    std::function<void(const QString &)> m_copy;
    QTimer m_confirmTimer;
};

} // namespace Orvinta
