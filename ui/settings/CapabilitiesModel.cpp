#include <OrvintaUi/CapabilitiesModel.h>

namespace Orvinta {

CapabilitiesModel::CapabilitiesModel(DesktopCapabilities capabilities, QObject *parent)
    : QAbstractListModel(parent)
    , m_capabilities(std::move(capabilities))
    , m_rows(m_capabilities.features())
    , m_setup(m_capabilities.setupLines()) {}

void CapabilitiesModel::setCapabilities(DesktopCapabilities capabilities) {
    m_capabilities = std::move(capabilities);
    QList<Capability> rows = m_capabilities.features();
    if (rows.size() != m_rows.size()) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    } else {
        for (int row = 0; row < rows.size(); ++row) {
            const Capability &now = rows[row];
            const Capability &was = m_rows[row];
            const bool same = now.feature == was.feature && now.available == was.available &&
                              now.backend == was.backend && now.reason == was.reason &&
                              now.fix == was.fix && now.checking == was.checking;
            m_rows[row] = now;
            if (!same)
                Q_EMIT dataChanged(index(row), index(row));
        }
    }
    SetupLines setup = m_capabilities.setupLines();
    if (setup.instructions != m_setup.instructions || setup.lines != m_setup.lines) {
        m_setup = std::move(setup);
        Q_EMIT setupLinesChanged();
    }
}

int CapabilitiesModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant CapabilitiesModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Capability &capability = m_rows.at(index.row());
    switch (role) {
    case FeatureRole:
    case Qt::DisplayRole:
        return capability.feature;
    case AvailableRole:
        return capability.available || capability.checking;
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
    return capability.status();
}

} // namespace Orvinta
