#pragma once

#include <QQuickItem>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// Where a screen reader hears new captions: a focusable live text region
/// holding the last line read aloud. Each line replaces its text and value
/// with text-update and value-change events, which Orca speaks while the
/// region has the focus, and shows it again as a notification, which Orca
/// speaks wherever the focus is (Qt 6.4 has no announcement event).
class CaptionAnnouncer : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text NOTIFY textChanged)

public:
    explicit CaptionAnnouncer(QQuickItem *parent = nullptr);

    QString text() const { return m_text; }
    /// Puts `text` in the region and tells the screen reader, also when it
    /// repeats the last line.
    Q_INVOKABLE void announce(const QString &text);

Q_SIGNALS:
    void textChanged();

private:
    QString m_text;
};

} // namespace Orvinta
