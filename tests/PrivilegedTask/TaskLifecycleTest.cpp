#include "tests/PrivilegedTask/TaskFixture.h"

#include <QCoreApplication>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

using namespace ntfs;
using TaskLifecycle = ntfs::test::TaskFixture;

TEST_F(TaskLifecycle, DirectRunsGetArgumentsAndDirectoryAndEndStatus)
{
    const auto ours = std::filesystem::current_path();
    const QString directory = QString::fromStdString(std::filesystem::canonical(dir_.path()));
    const struct { QStringList arguments; QString directory; QByteArray output; int status; } cases[] = {
        {{"-c", "pwd; for a; do printf '[%s]' \"$a\"; done", "sh", "a b", "it's \"quoted\"", "", "--keep-cwd", "\u00e9lan", "$HOME *"},
         directory, (directory + "\n[a b][it's \"quoted\"][][--keep-cwd][\u00e9lan][$HOME *]").toUtf8(), 0},
        {{"-c", "pwd; exit 5"}, QString::fromStdString(dir_ / "missing"), QByteArray::fromStdString(ours.string() + "\n"), 5},  // stays in ours
        {{"-c", "kill -KILL $$"}, directory, "", 128 + SIGKILL},
        {{"-c", "head -c 67108864 /dev/zero"}, directory, QByteArray(64 << 20, '\0'), 0},  // more than the stream holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[1].toStdString());
        auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", c.arguments, c.directory);
        ASSERT_EQ(task->launch(), 0);
        task->waitUntilExit();
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->terminationStatus(), c.status);
        EXPECT_TRUE(outputOf(task) == c.output);
    }
    EXPECT_EQ(std::filesystem::current_path(), ours);
    EXPECT_EQ(notifications_, 0) << "a wait ends the run without notification";
}

TEST_F(TaskLifecycle, PeriodicCheckNotifiesThenCallsTheHandlerAndKeepsAnUnreadStreamFlowing)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "head -c 1048576 /dev/zero; exit 9"});
    int handled = 0;
    task->setTerminationHandler([&](const QVPrivilegedTask::Pointer&) {
        ++handled;
        EXPECT_EQ(notifications_, 1) << "the notification comes before the handler";
    });
    ASSERT_EQ(task->launch(), 0);
    ASSERT_TRUE(runLoopUntil([&] { return handled > 0; }));
    EXPECT_EQ(notified_, task.get());
    EXPECT_EQ(task->terminationStatus(), 9);
    EXPECT_EQ(outputOf(task).size(), 1048576);
}

TEST_F(TaskLifecycle, FailedWaitEndsTheRunWithItsOwnStatus)
{
    for (bool periodic : {false, true}) {
        SCOPED_TRACE(periodic ? "periodic check" : "waitUntilExit");
        bool ended = false;
        auto task = QVPrivilegedTask::initWithLaunchPath("/bin/true");
        task->setTerminationHandler([&](const QVPrivilegedTask::Pointer&) { ended = true; });
        ASSERT_EQ(task->launch(), 0);
        ASSERT_EQ(waitpid(task->processIdentifier(), nullptr, 0), task->processIdentifier());  // reaped behind its back
        if (periodic)
            ASSERT_TRUE(runLoopUntil([&] { return ended; }));
        else
            task->waitUntilExit();
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->terminationStatus(), QVPrivilegedTask::waitFailedStatus);
    }
}

// A second launch while running starts nothing; after the end a relaunch runs the changed command,
// and the first status stands until the new end is seen, also when the handler relaunches.
TEST_F(TaskLifecycle, RelaunchesStartNothingWhileRunningAndTheNewCommandAfterTheEnd)
{
    auto marks = dir_ / "marks";
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "echo started >> \"$0\"; exit 4", QString::fromStdString(marks)});
    ASSERT_EQ(task->launch(), 0);
    auto pid = task->processIdentifier();
    auto handle = task->outputFileHandle();
    EXPECT_EQ(task->launch(), 0);
    EXPECT_EQ(task->processIdentifier(), pid);
    EXPECT_EQ(task->outputFileHandle(), handle);
    task->waitUntilExit();
    EXPECT_EQ(task->terminationStatus(), 4);

    std::vector<int> statuses;
    task->setArguments({"-c", "echo second; exit 1"});
    task->setTerminationHandler([&](const QVPrivilegedTask::Pointer& ended) {
        statuses.push_back(ended->terminationStatus());
        if (statuses.size() == 1) {
            ended->setArguments({"-c", "exit 2"});
            EXPECT_EQ(ended->launch(), 0);
        }
    });
    ASSERT_EQ(task->launch(), 0);
    EXPECT_EQ(task->terminationStatus(), 4);
    EXPECT_NE(task->outputFileHandle(), handle);
    std::weak_ptr<QVPrivilegedTask> watched = task;
    task.reset();
    ASSERT_TRUE(runLoopUntil([&] { return statuses.size() == 2; }));
    EXPECT_EQ(statuses, (std::vector<int>{1, 2}));
    EXPECT_TRUE(watched.expired());
    std::ifstream file(marks);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "started\n");
}

// The tasks' status timers need an event loop on this thread.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
