#include "TaskFixture.h"

using namespace ntfs;
using namespace ntfs::test;

namespace {

class Elevation : public TaskFixture {};

}  // namespace

TEST_F(Elevation, EndsBeforeTheStartMarkerAreFailedLaunches)
{
    const struct {
        const char* pkexec;
        std::int32_t status;
    } cases[] = {
        {"echo 'Error executing command as another user: Request dismissed' >&2; exit 126", -60006},
        {"echo 'Error executing command as another user: Not authorized' >&2; exit 127", -60005},
        {"kill -KILL $$", -60031},
        {"exit 1", -60031},
        {"shift 2; exec \"$1\" /nonexistent/tool", -60031},  // the trampoline cannot start the tool
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pkexec);
        useElevator(elevatorWithPkexec(writeFakePkexec(dir_, c.pkexec)));
        auto task = QVPrivilegedTask::initWithLaunchPath("/bin/echo", {"never"});
        EXPECT_EQ(task->launch(), c.status);
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->outputFileHandle(), nullptr);
        EXPECT_EQ(task->processIdentifier(), 0);
        EXPECT_EQ(task->terminationStatus(), 0);
    }
    EXPECT_TRUE(logLines().empty());
}

TEST_F(Elevation, ToolKeepsThePidOfOurChild)
{
    useRoute(LaunchRoute::Trampoline);
    auto task = QVPrivilegedTask::initWithLaunchPath("/bin/sh", {"-c", "echo $$"});
    ASSERT_EQ(task->launch(), 0);
    task->waitUntilExit();
    EXPECT_EQ(outputOf(task).trimmed().toInt(), task->processIdentifier());
}

TEST_F(Elevation, AvailableWhenRootOrWithPkexecAndTrampoline)
{
    auto pkexec = writeFakePkexec(dir_, "exit 0");
    const struct {
        bool root;
        std::filesystem::path pkexec;
        std::filesystem::path trampoline;
        bool available;
    } cases[] = {
        {true, dir_ / "none", dir_ / "none", true},
        {false, pkexec, NTFS_TRAMPOLINE_PATH, true},
        {false, dir_ / "none", NTFS_TRAMPOLINE_PATH, false},
        {false, pkexec, dir_ / "none", false},
    };
    for (const auto& c : cases) {
        PkexecElevatorOptions options{c.pkexec, c.trampoline, [root = c.root] { return root; }};
        EXPECT_EQ(PkexecElevator(options).available(), c.available) << c.root << " " << c.pkexec << " " << c.trampoline;
    }
}
