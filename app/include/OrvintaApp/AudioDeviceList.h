#pragma once

#include <OrvintaEngineBackends/AudioCapture.h>
#include <OrvintaEngineBackends/EngineTypes.h>

#include <QAbstractListModel>
#include <QCoroTask>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace Orvinta {

class SerialWorker;

/// The audio input devices the sound server offers, and the one chosen.
class AudioDeviceList : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The device list belongs to AppState")
    Q_PROPERTY(
        QVariant selectedDeviceID READ selectedDeviceIDVariant NOTIFY selectedDeviceIDChanged)
    /// The chosen device's row; -1 for none.
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole };

    AudioDeviceList(std::shared_ptr<AudioCaptureBackend> audio,
                    std::shared_ptr<SerialWorker> soundServer, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    const std::vector<AudioDevice> &availableDevices() const { return m_devices; }
    /// What the latest refresh learned of the sound server.
    enum class ServerStatus { unknown, unreachable, answered };
    ServerStatus serverStatus() const { return m_serverStatus; }
    /// Whether the sound server has an output whose monitor system audio records.
    bool hasSystemAudio() const { return m_hasSystemAudio; }
    std::optional<std::uint32_t> selectedDeviceID() const { return m_selectedDeviceID; }
    void setSelectedDeviceID(std::optional<std::uint32_t> id);
    QVariant selectedDeviceIDVariant() const;
    /// An id, or anything else for none.
    Q_INVOKABLE void selectDevice(const QVariant &id);
    int selectedIndex() const;
    /// A row outside the list is ignored.
    Q_INVOKABLE void selectIndex(int row);

    /// Re-reads the list from the sound server (never on the main thread);
    /// selects the first device when none is chosen. A device chosen
    /// meanwhile stays chosen.
    QCoro::Task<> refresh();

Q_SIGNALS:
    void selectedDeviceIDChanged();
    /// A refresh ended: the server status, the rows or the outputs may have changed.
    void refreshed();
    /// The choice or the rows changed.
    void selectedIndexChanged();

private:
    std::shared_ptr<AudioCaptureBackend> m_audio;
    std::shared_ptr<SerialWorker> m_soundServer;
    std::vector<AudioDevice> m_devices;
    std::optional<std::uint32_t> m_selectedDeviceID;
    ServerStatus m_serverStatus = ServerStatus::unknown;
    bool m_hasSystemAudio = false;
};

} // namespace Orvinta
