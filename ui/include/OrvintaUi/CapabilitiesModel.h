#pragma once

#include <OrvintaApp/DesktopCapabilities.h>

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// The "What Works Here" page: one row per feature of the desktop's
/// capabilities, with "works" or "unavailable: REASON — FIX", and the key
/// bindings to add where the desktop's own settings must bind the keys.
class CapabilitiesModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings window's view model holds the capabilities")
    Q_PROPERTY(QString setupInstructions READ setupInstructions NOTIFY setupLinesChanged)
    /// The lines, one per line; empty where none are needed.
    Q_PROPERTY(QString setupText READ setupText NOTIFY setupLinesChanged)

public:
    enum Role { FeatureRole = Qt::UserRole + 1, AvailableRole, BackendRole, StatusRole };

    explicit CapabilitiesModel(DesktopCapabilities capabilities, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const DesktopCapabilities &capabilities() const { return m_capabilities; }
    /// What was learned since (the sound server's answer, another hold key):
    /// the rows say it in place.
    void setCapabilities(DesktopCapabilities capabilities);
    QString setupInstructions() const { return m_setup.instructions; }
    QString setupText() const { return m_setup.lines.join(QLatin1Char('\n')); }

    /// "works", "checking…", or "unavailable: REASON — FIX".
    static QString statusText(const Capability &capability);

Q_SIGNALS:
    void setupLinesChanged();

private:
    DesktopCapabilities m_capabilities;
    QList<Capability> m_rows;
    SetupLines m_setup;
};

} // namespace Orvinta
