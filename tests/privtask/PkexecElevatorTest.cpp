#include "ChildProcess.h"
#include "TaskFixture.h"
#include "TrampolineProtocol.h"

#include <fstream>
#include <unistd.h>

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
    if (IsSkipped())
        return;
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

TEST_F(Elevation, TheTrampolineRunsOnlyTheAppsOwnTools)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the trampoline runs only tools that root alone can change; run as root";
    namespace fs = std::filesystem;
    auto trampoline = makeAppFolder().string();
    auto app = fs::path(trampoline).parent_path();
    std::ofstream(app / "ntfs-bless-helper") << "#!/bin/sh\necho blessed \"$@\"\n";
    fs::permissions(app / "ntfs-bless-helper", fs::perms::owner_all);
    fs::create_symlink(app / "ntfs-bless-helper", dir_ / "bless-link");
    std::ofstream(dir_ / "elsewhere.sh") << "echo elsewhere\n";
    fs::create_directories(app / "Resources/nested");
    std::ofstream(app / "Resources/nested/deeper.sh") << "echo deeper\n";
    const std::string pass = (app / "Resources/pass.sh").string();

    const struct {
        std::vector<std::string> command;
        const char* output;  // after the start marker; none when refused (125, no marker)
    } cases[] = {
        {{(app / "ntfs-bless-helper").string(), "com.zel.ntfs.HelperTool"}, "blessed com.zel.ntfs.HelperTool\n"},
        {{(dir_ / "bless-link").string(), "x"}, "blessed x\n"},  // known by its real path
        {{"/bin/sh", pass, "/bin/echo", "script"}, "script\n"},
        {{"/bin/sh", "-c", "echo options"}, nullptr},
        {{"/bin/sh", (dir_ / "elsewhere.sh").string()}, nullptr},
        {{"/bin/sh", (app / "Resources/nested/deeper.sh").string()}, nullptr},
        {{"/bin/echo", "any program"}, nullptr},
        {{trampoline}, nullptr},
        {{(app / "missing").string()}, nullptr},
    };
    auto run = [&](std::vector<std::string> command) {
        command.insert(command.begin(), trampoline);
        return ChildProcess::run(command);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command.front() + " " + (c.command.size() > 1 ? c.command[1] : ""));
        auto [code, output] = run(c.command);
        auto marker = output.find(TrampolineProtocol::startMarker);
        if (c.output) {
            EXPECT_EQ(code, 0) << output;
            ASSERT_NE(marker, std::string::npos) << output;
            EXPECT_EQ(output.substr(marker + TrampolineProtocol::startMarker.size()), c.output);
        } else {
            EXPECT_EQ(code, TrampolineProtocol::cannotStartTool) << output;
            EXPECT_EQ(marker, std::string::npos) << output;
        }
    }
    // A folder that others may write lets them put another script in its place.
    fs::permissions(app / "Resources", fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(run({"/bin/sh", pass, "/bin/true"}).first, TrampolineProtocol::cannotStartTool);
}
