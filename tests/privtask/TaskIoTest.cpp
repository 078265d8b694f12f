#include "TaskFixture.h"

#include <csignal>

using namespace ntfs;
using namespace ntfs::test;

namespace {

class TaskIo : public TaskFixture, public testing::WithParamInterface<LaunchRoute> {
protected:
    void SetUp() override
    {
        TaskFixture::SetUp();
        useRoute(GetParam());
    }

    QVPrivilegedTask::Pointer ranToEnd(const QString& path, const QStringList& arguments, const QString& directory)
    {
        auto task = QVPrivilegedTask::initWithLaunchPath(path, arguments, directory);
        EXPECT_EQ(task->launch(), 0);
        task->waitUntilExit();
        return task;
    }
};

INSTANTIATE_TEST_SUITE_P(, TaskIo, testing::Values(LaunchRoute::Direct, LaunchRoute::Trampoline), routeName);

}  // namespace

TEST_P(TaskIo, ArgumentsArriveUnchangedAsSingleEntries)
{
    const QStringList tricky{"a b", "it's \"quoted\"", "", "--keep-cwd", "\u00e9lan \u65e5\u672c", "$HOME *"};
    QStringList arguments{"-c", "for a; do printf '[%s]' \"$a\"; done", "sh"};
    arguments += tricky;
    auto task = ranToEnd("/bin/sh", arguments, "/");
    EXPECT_EQ(task->terminationStatus(), 0);
    EXPECT_EQ(QString::fromUtf8(outputOf(task)), "[a b][it's \"quoted\"][][--keep-cwd][\u00e9lan \u65e5\u672c][$HOME *]");
}

TEST_P(TaskIo, ToolRunsInItsDirectoryWhileOursStaysPut)
{
    const auto before = std::filesystem::current_path();
    const QString directory = QString::fromStdString(std::filesystem::canonical(dir_.path()));
    auto task = ranToEnd("/bin/pwd", {}, directory);  // and a task without arguments runs
    EXPECT_EQ(QString::fromUtf8(outputOf(task)), directory + "\n");
    EXPECT_EQ(std::filesystem::current_path(), before);

    // A directory that cannot be entered leaves the tool in ours, as it always did.
    auto elsewhere = ranToEnd("/bin/pwd", {}, QString::fromStdString(dir_ / "missing"));
    EXPECT_EQ(outputOf(elsewhere).toStdString(), before.string() + "\n");
}

TEST_P(TaskIo, WaitTakesOutputLargerThanTheStreamHolds)
{
    auto task = ranToEnd("/bin/sh", {"-c", "head -c 67108864 /dev/zero; exit 2"}, "/");
    EXPECT_FALSE(task->isRunning());
    EXPECT_EQ(task->terminationStatus(), 2);
    auto output = outputOf(task);
    EXPECT_EQ(output.size(), 64 * 1024 * 1024);
    EXPECT_EQ(output.count('\0'), output.size());
}

TEST_P(TaskIo, AToolKilledByASignalIsNoSuccess)
{
    auto waited = ranToEnd("/bin/sh", {"-c", "kill -KILL $$"}, "/");
    EXPECT_EQ(waited->terminationStatus(), 128 + SIGKILL);

    auto checked = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "kill -TERM $$"});
    bool ended = false;
    checked->setTerminationHandler([&](const QVPrivilegedTask::Pointer&) { ended = true; });
    ASSERT_EQ(checked->launch(), 0);
    ASSERT_TRUE(runLoopUntil([&] { return ended; }));
    EXPECT_EQ(checked->terminationStatus(), 128 + SIGTERM);
}

TEST_P(TaskIo, PeriodicCheckKeepsAnUnreadStreamFromStallingTheTool)
{
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "head -c 1048576 /dev/zero; exit 9"});
    bool ended = false;
    task->setTerminationHandler([&](const QVPrivilegedTask::Pointer&) { ended = true; });
    ASSERT_EQ(task->launch(), 0);
    ASSERT_TRUE(runLoopUntil([&] { return ended; }));
    EXPECT_EQ(task->terminationStatus(), 9);
    EXPECT_EQ(outputOf(task).size(), 1048576);
}
