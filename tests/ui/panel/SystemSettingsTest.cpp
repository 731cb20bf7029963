// Which sound-settings tool opens, found on the PATH.

#include "AppTestSupport.h"

#include <OrvintaUi/SystemSettings.h>

#include <QFile>
#include <QTemporaryDir>

#include <tuple>

using namespace Orvinta;
using namespace Orvinta::Testing;

namespace {

/// A PATH of its own with the named tools; each writes its arguments to a file.
class FakePath {
public:
    explicit FakePath(const QStringList &tools) {
        m_oldPath = qgetenv("PATH");
        for (const QString &name : tools) {
            EXPECT_TRUE(writeFile(tool(name), "#!/bin/sh\necho \"$0 $*\" > \"${0%/*}/ran\"\n"));
            QFile::setPermissions(tool(name), QFile::ReadOwner | QFile::ExeOwner);
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
    for (const auto &[tools, program, arguments] :
         std::initializer_list<std::tuple<QStringList, QString, QStringList>>{
             {{"systemsettings", "gnome-control-center", "pavucontrol"}, "pavucontrol", {}},
             {{"systemsettings", "gnome-control-center"}, "gnome-control-center", {"sound"}},
             {{"systemsettings"}, "systemsettings", {"kcm_pulseaudio"}}}) {
        FakePath path(tools);
        const auto command = SystemSettings::soundSettingsCommand();
        ASSERT_TRUE(command);
        EXPECT_EQ(command->program, path.tool(program));
        EXPECT_EQ(command->arguments, arguments);
    }
    {
        // Started detached: it runs on after this call returns.
        FakePath path({"gnome-control-center"});
        ASSERT_TRUE(SystemSettings::openSoundSettings());
        QFile ran(path.ranFile());
        waitUntil([&] { return ran.exists(); }, std::chrono::seconds(5));
        ASSERT_TRUE(ran.open(QIODevice::ReadOnly));
        EXPECT_TRUE(ran.readAll().trimmed().endsWith("gnome-control-center sound"));
    }
    // None installed: says so, starts nothing.
    FakePath path({});
    EXPECT_FALSE(SystemSettings::soundSettingsCommand());
    EXPECT_FALSE(SystemSettings::openSoundSettings());
}
