#include <OrvintaApp/AudioDeviceList.h>

#include <OrvintaApp/Observable.h>

#include <OrvintaEngine/MainThread.h>
#include <OrvintaEngineBackends/AudioDevices.h>

#include <QPointer>

#include <algorithm>

namespace Orvinta {

AudioDeviceList::AudioDeviceList(std::shared_ptr<AudioCaptureBackend> audio,
                                 std::shared_ptr<SerialWorker> soundServer, QObject *parent)
    : QAbstractListModel(parent)
    , m_audio(std::move(audio))
    , m_soundServer(std::move(soundServer)) {
    const auto indexMoved = [this] { Q_EMIT selectedIndexChanged(); };
    connect(this, &AudioDeviceList::selectedDeviceIDChanged, this, indexMoved);
    connect(this, &QAbstractItemModel::modelReset, this, indexMoved);
    connect(this, &QAbstractItemModel::rowsInserted, this, indexMoved);
    connect(this, &QAbstractItemModel::rowsRemoved, this, indexMoved);
}

int AudioDeviceList::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_devices.size());
}

QVariant AudioDeviceList::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const AudioDevice &device = m_devices[static_cast<std::size_t>(index.row())];
    if (role == IdRole)
        return device.id;
    if (role == NameRole || role == Qt::DisplayRole)
        return QString::fromStdString(device.name);
    return {};
}

QHash<int, QByteArray> AudioDeviceList::roleNames() const {
    return {{IdRole, "deviceId"}, {NameRole, "name"}};
}

void AudioDeviceList::setSelectedDeviceID(std::optional<std::uint32_t> id) {
    assignNotifying(this, m_selectedDeviceID, id, &AudioDeviceList::selectedDeviceIDChanged);
}

QVariant AudioDeviceList::selectedDeviceIDVariant() const {
    return m_selectedDeviceID ? QVariant::fromValue(*m_selectedDeviceID) : QVariant();
}

void AudioDeviceList::selectDevice(const QVariant &id) {
    bool ok = false;
    const uint value = id.toUInt(&ok);
    setSelectedDeviceID(ok ? std::optional<std::uint32_t>(value) : std::nullopt);
}

int AudioDeviceList::selectedIndex() const {
    if (!m_selectedDeviceID)
        return -1;
    const auto found = std::find_if(m_devices.begin(), m_devices.end(), [&](const AudioDevice &d) {
        return d.id == *m_selectedDeviceID;
    });
    return found == m_devices.end() ? -1 : static_cast<int>(found - m_devices.begin());
}

void AudioDeviceList::selectIndex(int row) {
    if (row >= 0 && row < static_cast<int>(m_devices.size()))
        setSelectedDeviceID(m_devices[static_cast<std::size_t>(row)].id);
}

QCoro::Task<> AudioDeviceList::refresh() {
    if (!m_audio || !m_soundServer)
        co_return;
    QPointer<AudioDeviceList> self(this);
    struct Listing {
        std::vector<AudioDevice> devices;
        std::optional<std::uint32_t> selected;
        bool answered = false;
        bool monitor = false;
    };
    const std::optional<std::uint32_t> selectedBefore = m_selectedDeviceID;
    std::function<Listing()> query = [audio = m_audio,
                                      listing = Listing{m_devices, selectedBefore}]() mutable {
        const auto records = audio->inputDevices();
        listing.answered = records.has_value();
        listing.monitor =
            records && std::any_of(records->begin(), records->end(),
                                   [](const auto &record) { return record.isMonitor; });
        refreshAudioDevices(records, listing.devices, listing.selected);
        return listing;
    };
    std::optional<Listing> listing;
    try {
        QCoro::Task<Listing> asking = runOn(m_soundServer, std::move(query));
        listing = co_await asking;
    } catch (const OperationCancelled &) {
        co_return;
    }
    if (!self)
        co_return;
    if (m_devices != listing->devices) {
        beginResetModel();
        m_devices = listing->devices;
        endResetModel();
    }
    if (m_selectedDeviceID == selectedBefore)
        setSelectedDeviceID(listing->selected);
    m_serverStatus = listing->answered ? ServerStatus::answered : ServerStatus::unreachable;
    m_hasSystemAudio = listing->monitor;
    Q_EMIT refreshed();
}

} // namespace Orvinta
