// Which sound-settings tool opens, found on the PATH.

#include <OrvintaUi/SystemSettings.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace Orvinta;

namespace {

/// A PATH of its own with the named tools; each writes its arguments to a file.
class FakePath {
public:
    explicit FakePath(const QStringList &tools) {
        m_oldPath = qgetenv("PATH");
        for (const QString &tool : tools) {
            QFile script(m_dir.filePath(tool));
            EXPECT_TRUE(script.open(QIODevice::WriteOnly));
            script.write(QString("#!/bin/sh\necho \"$0 $*\" > %1\n").arg(ranFile()).toUtf8());
            script.close();
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        qputenv("PATH", m_dir.path().toUtf8());
    }
    ~FakePath() { qputenv("PATH", m_oldPath); }
    QString ranFile() const { return m_dir.filePath("ran"); }
    QString tool(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

} // namespace

TEST(SystemSettings, opensTheFirstInstalledSoundSettings) {
    {
        FakePath path({"systemsettings", "gnome-control-center", "pavucontrol"});
        const auto command = SystemSettings::soundSettingsCommand();
        ASSERT_TRUE(command);
        EXPECT_EQ(command->program, path.tool("pavucontrol"));
        EXPECT_TRUE(command->arguments.isEmpty());
    }
    {
        FakePath path({"systemsettings", "gnome-control-center"});
        const auto command = SystemSettings::soundSettingsCommand();
        ASSERT_TRUE(command);
        EXPECT_EQ(command->program, path.tool("gnome-control-center"));
        EXPECT_EQ(command->arguments, QStringList{"sound"});
        // Started detached: it runs on after this call returns.
        ASSERT_TRUE(SystemSettings::openSoundSettings());
        QFile ran(path.ranFile());
        for (int i = 0; i < 100 && !ran.exists(); ++i)
            QThread::msleep(50);
        ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
        EXPECT_TRUE(ran.readAll().trimmed().endsWith("gnome-control-center sound"));
    }
    {
        FakePath path({"systemsettings"});
        EXPECT_EQ(SystemSettings::soundSettingsCommand()->arguments, QStringList{"kcm_pulseaudio"});
    }
    {
        // None installed: says so, starts nothing.
        FakePath path({});
        EXPECT_FALSE(SystemSettings::soundSettingsCommand());
        EXPECT_FALSE(SystemSettings::openSoundSettings());
    }
}
