#include "AppTestSupport.h"

#include <OrvintaPlatform/SingleInstance.h>

#include <QSysInfo>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(SingleInstance, theSecondStartHandsOverToTheFirst) {
    QTemporaryDir runtime;
    SingleInstance first(runtime.path(), runtime.path());
    ASSERT_EQ(first.claim(), SingleInstance::Claim::taken);
    ASSERT_TRUE(first.acceptHandOvers());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    SingleInstance second(runtime.path(), runtime.path());
    EXPECT_EQ(second.claim(), SingleInstance::Claim::heldElsewhere);
    EXPECT_TRUE(second.handOver());
    EXPECT_TRUE(waitUntil([&] { return activated.count() == 1; }));
}

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
