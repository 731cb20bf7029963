#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

class Preferences;

/// The recognition and translation languages as the panel and the settings
/// window offer them: two pop-up lists over the fixed tables, written
/// straight through to the preferences.
class LanguageSelection : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("A view model makes its language selection")
    /// Maps with "id" and "label".
    Q_PROPERTY(QVariantList sourceLanguages READ sourceLanguages CONSTANT)
    Q_PROPERTY(QVariantList targetLanguages READ targetLanguages CONSTANT)
    Q_PROPERTY(int sourceIndex READ sourceIndex NOTIFY changed)
    Q_PROPERTY(int targetIndex READ targetIndex NOTIFY changed)
    /// Each language can stand on the other side, and they differ.
    Q_PROPERTY(bool canSwap READ canSwap NOTIFY changed)
    Q_PROPERTY(bool sameLanguage READ sameLanguage NOTIFY changed)

public:
    explicit LanguageSelection(Preferences &preferences, QObject *parent = nullptr);

    static QVariantList sourceLanguages();
    static QVariantList targetLanguages();
    int sourceIndex() const;
    int targetIndex() const;
    bool canSwap() const;
    bool sameLanguage() const;

    /// An index outside the table is ignored.
    Q_INVOKABLE void selectSource(int index);
    Q_INVOKABLE void selectTarget(int index);
    Q_INVOKABLE void swap();

Q_SIGNALS:
    void changed();

private:
    Preferences &m_preferences;
};

} // namespace Orvinta
