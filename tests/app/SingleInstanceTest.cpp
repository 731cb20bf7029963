#include "AppTestSupport.h"

#include <OrvintaPlatform/SingleInstance.h>

#include <QSignalSpy>
#include <QSysInfo>

#include <gtest/gtest.h>

using namespace Orvinta;
using namespace Orvinta::Testing;

TEST(SingleInstance, theSecondStartHandsOverToTheFirst) {
    QTemporaryDir runtime;
    SingleInstance first(runtime.path());
    ASSERT_TRUE(first.claim());
    ASSERT_TRUE(first.acceptHandOvers());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    SingleInstance second(runtime.path());
    EXPECT_FALSE(second.claim());
    EXPECT_TRUE(second.handOver());
    EXPECT_TRUE(waitUntil([&] { return activated.count() == 1; }));
}

TEST(SingleInstance, aLockLeftByADeadProcessIsTakenOver) {
    QTemporaryDir runtime;
    {
        // A holder that died without cleaning up: its lock names a dead process.
        QFile stale(QDir(runtime.path()).filePath(QStringLiteral("orvinta.lock")));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
        stale.write("999999\norvinta\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    SingleInstance instance(runtime.path());
    EXPECT_TRUE(instance.claim());
    SingleInstance nobodyListening(runtime.path());
    EXPECT_FALSE(nobodyListening.handOver());
}
