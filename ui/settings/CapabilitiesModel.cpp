#include <OrvintaUi/CapabilitiesModel.h>

namespace Orvinta {

CapabilitiesModel::CapabilitiesModel(DesktopCapabilities capabilities, QObject *parent)
    : QAbstractListModel(parent)
    , m_capabilities(std::move(capabilities)) {}

int CapabilitiesModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_capabilities.features.size());
}

QVariant CapabilitiesModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Capability &capability = m_capabilities.features.at(index.row());
    switch (role) {
    case FeatureRole:
    case Qt::DisplayRole:
        return capability.feature;
    case AvailableRole:
        return capability.available;
    case BackendRole:
        return capability.backend;
    case StatusRole:
        return statusText(capability);
    default:
        return {};
    }
}

QHash<int, QByteArray> CapabilitiesModel::roleNames() const {
    return {{FeatureRole, "feature"},
            {AvailableRole, "available"},
            {BackendRole, "backend"},
            {StatusRole, "status"}};
}

QString CapabilitiesModel::statusText(const Capability &capability) {
    if (capability.available)
        return QStringLiteral("works");
    QString text = QStringLiteral("unavailable: ") + capability.reason;
    if (!capability.fix.isEmpty())
        text += QStringLiteral(" — ") + capability.fix;
    return text;
}

} // namespace Orvinta
