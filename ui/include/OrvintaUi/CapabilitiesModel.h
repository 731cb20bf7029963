#pragma once

#include <OrvintaApp/DesktopCapabilities.h>

#include <QAbstractListModel>
#include <QtQml/qqmlregistration.h>

namespace Orvinta {

/// The "What Works Here" page: one row per feature of the desktop's
/// capabilities, with "works" or "unavailable: REASON — FIX".
class CapabilitiesModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings window's view model holds the capabilities")

public:
    enum Role { FeatureRole = Qt::UserRole + 1, AvailableRole, BackendRole, StatusRole };

    explicit CapabilitiesModel(DesktopCapabilities capabilities, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const DesktopCapabilities &capabilities() const { return m_capabilities; }
    /// "works", or "unavailable: REASON — FIX".
    static QString statusText(const Capability &capability);

private:
    DesktopCapabilities m_capabilities;
};

} // namespace Orvinta
