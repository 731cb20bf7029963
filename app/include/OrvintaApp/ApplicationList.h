#pragma once

#include <OrvintaEngineBackends/AudioCapture.h>

#include <QAbstractListModel>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <vector>

namespace Orvinta {

class Preferences;
class SerialWorker;

/// The applications playing sound now, to choose the one the application
/// source follows; the chosen one (kept in the preferences) stays in the
/// list while it plays nothing. While watching, the list follows the sound
/// server as streams come and go.
class ApplicationList : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application list belongs to AppState")
    /// The chosen application's row; -1 for none.
    Q_PROPERTY(int selectedIndex READ selectedIndex NOTIFY selectedIndexChanged)
    Q_PROPERTY(int playingCount READ playingCount NOTIFY playingCountChanged)

public:
    enum Role { NameRole = Qt::UserRole + 1, DescriptionRole, IconNameRole, PlayingRole };

    ApplicationList(std::shared_ptr<AudioCaptureBackend> audio,
                    std::shared_ptr<SerialWorker> soundServer, Preferences &preferences,
                    QObject *parent = nullptr);
    ~ApplicationList() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int selectedIndex() const;
    int playingCount() const;
    /// Follows the row's application from now on; a row outside the list is ignored.
    Q_INVOKABLE void selectIndex(int row);

    /// On: a watch of the sound server's streams (made and ended on the
    /// sound-server thread) keeps the rows current. Off: only the chosen
    /// application is listed.
    void setWatching(bool watching);
    bool isWatching() const { return m_watching; }
    /// The rows for these playback streams.
    void setStreams(std::vector<PlaybackStream> streams);

Q_SIGNALS:
    void selectedIndexChanged();
    void playingCountChanged();

private:
    struct Row {
        QString name;
        QString binary;
        QString description;
        QString iconName;
        bool playing = false;

        friend bool operator==(const Row &, const Row &) = default;
    };
    void updateRows();
    void releaseWatch();

    std::shared_ptr<AudioCaptureBackend> m_audio;
    std::shared_ptr<SerialWorker> m_soundServer;
    Preferences &m_preferences;
    std::vector<PlaybackStream> m_streams;
    std::vector<Row> m_rows;
    bool m_watching = false;
    int m_generation = 0;
    std::shared_ptr<PlaybackWatch> m_watch;
};

} // namespace Orvinta
