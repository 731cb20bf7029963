#include "AppTestSupport.h"

#include <OrvintaPlatform/SingleInstance.h>

#include <QSysInfo>

using namespace Orvinta;
using namespace Orvinta::Testing;

// The hand-over to a running instance: the end-to-end App tests.
TEST(SingleInstance, aLockLeftByADeadProcessIsTakenOver) {
    QTemporaryDir runtime;
    {
        // A holder that died without cleaning up: its lock names a dead process.
        QFile stale(QDir(runtime.path()).filePath("orvinta.lock"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("999999\norvinta\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    SingleInstance instance(runtime.path(), runtime.path());
    EXPECT_EQ(instance.claim(), SingleInstance::Claim::taken);
    SingleInstance nobodyListening(runtime.path(), runtime.path());
    EXPECT_FALSE(nobodyListening.handOver());
}
