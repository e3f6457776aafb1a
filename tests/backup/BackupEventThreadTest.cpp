#include "backup/FTP_BackupEventThread_Unit.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

using cvb::TFTP_BackupEventThread;

void runUntilFinished(QThread &thread)
{
    QDeadlineTimer deadline(20000);
    while (!thread.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(thread.isFinished());
}

TEST(BackupEventThread, StepsRunInOrderOnTheMainThreadWhileTheWorkerIdles)
{
    QObject context;
    QStringList order;
    QThread::Priority workerPriority = QThread::InheritPriority;
    TFTP_BackupEventThread *self = nullptr;
    const auto step = [&](const char *name) {
        return [&, name] {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            workerPriority = self->priority();
            order << QString::fromLatin1(name);
        };
    };
    TFTP_BackupEventThread worker(&context, step("logon"), step("transfer"));
    self = &worker;
    worker.resume();
    runUntilFinished(worker);
    EXPECT_EQ(order, (QStringList{QStringLiteral("logon"), QStringLiteral("transfer")}));
    EXPECT_EQ(workerPriority, QThread::IdlePriority);
    EXPECT_TRUE(worker.stepError().isEmpty());
}

TEST(BackupEventThread, AnErrorEscapingAStepEndsTheWorkerAndIsKept)
{
    QObject context;
    bool transferRan = false;
    TFTP_BackupEventThread worker(
        &context, [] { throw std::runtime_error("table engine failed"); }, [&] { transferRan = true; });
    worker.resume();
    runUntilFinished(worker);
    EXPECT_FALSE(transferRan);
    EXPECT_EQ(worker.stepError(), QStringLiteral("table engine failed"));
}

TEST(BackupEventThread, StoppedBeforeTheFirstStepHandsNothingOver)
{
    QObject context;
    int steps = 0;
    TFTP_BackupEventThread worker(
        &context, [&] { ++steps; }, [&] { ++steps; });
    worker.stop();
    worker.resume();
    runUntilFinished(worker);
    QCoreApplication::processEvents();
    EXPECT_EQ(steps, 0);
}

TEST(BackupEventThread, DeletingTheContextWhileAStepWaitsReleasesTheWorker)
{
    auto context = std::make_unique<QObject>();
    int steps = 0;
    TFTP_BackupEventThread worker(
        context.get(), [&] { ++steps; }, [&] { ++steps; });
    worker.resume();
    // No events are processed: the log-on step stays queued until its context goes away.
    QThread::msleep(50);
    worker.stop();
    context.reset();
    EXPECT_TRUE(worker.wait(10000));
    EXPECT_EQ(steps, 0);
}

} // namespace
