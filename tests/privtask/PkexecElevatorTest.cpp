#include "ChildProcess.h"
#include "TaskFixture.h"
#include "TrampolineProtocol.h"

#include <unistd.h>

using namespace ntfs;
using ntfs::test::ChildProcess;
using Elevation = ntfs::test::TaskFixture;

TEST_F(Elevation, LaunchesThatEndBeforeTheToolRunsReportWhy)
{
    const struct {
        bool root;
        const char* pkexec;  // none: no pkexec at all
        const char* tool;
        std::int32_t status;
    } cases[] = {
        {false, "echo 'Error executing command as another user: Request dismissed' >&2; exit 126", "/bin/true", -60006},
        {false, "echo 'Error executing command as another user: Not authorized' >&2; exit 127", "/bin/true", -60005},
        {false, "kill -KILL $$", "/bin/true", -60031},
        {false, "exit 1", "/bin/true", -60031},
        {false, "shift 2; exec \"$1\" /nonexistent/tool", "/bin/true", -60031},  // the trampoline cannot start it
        {false, nullptr, "/bin/true", -70001},
        {true, nullptr, "/nonexistent/tool", -60031},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pkexec ? c.pkexec : c.tool);
        useElevator(c.root, c.pkexec ? fakePkexec(c.pkexec) : dir_ / "none");
        auto task = QVPrivilegedTask::initWithLaunchPath(c.tool);
        EXPECT_EQ(task->launch(), c.status);
        EXPECT_FALSE(task->isRunning());
        EXPECT_EQ(task->outputFileHandle(), nullptr);
    }
}

TEST_F(Elevation, TheTrampolineRunsOnlyTheAppsOwnTools)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the trampoline runs only tools that root alone can change; run as root";
    namespace fs = std::filesystem;
    const auto app = dir_ / "app";
    const auto trampoline = (app / "ntfs-privileged-trampoline").string();
    const auto pass = (app / "Resources/pass.sh").string();
    fs::create_directories(app / "Resources/nested");
    fs::copy_file(NTFS_TRAMPOLINE_PATH, trampoline);
    std::ofstream(pass) << "exec \"$@\"\n";
    std::ofstream(app / "ntfs-bless-helper") << "#!/bin/sh\necho blessed \"$@\"\n";
    fs::permissions(app / "ntfs-bless-helper", fs::perms::owner_all);
    fs::create_symlink(app / "ntfs-bless-helper", dir_ / "bless-link");
    const struct {
        std::vector<std::string> command;
        const char* output;  // after the start marker; none when refused (125, no marker)
    } cases[] = {
        {{(app / "ntfs-bless-helper").string(), "com.zel.ntfs.HelperTool"}, "blessed com.zel.ntfs.HelperTool\n"},
        {{(dir_ / "bless-link").string(), "x"}, "blessed x\n"},  // known by its real path
        {{"/bin/sh", pass, "/bin/echo", "a b", ""}, "a b \n"},
        {{"/bin/sh", "-c", "echo options"}, nullptr},
        {{"/bin/sh", (dir_ / "elsewhere.sh").string()}, nullptr},
        {{"/bin/sh", (app / "Resources/nested/deeper.sh").string()}, nullptr},
        {{"/bin/echo", "any program"}, nullptr},
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
        EXPECT_EQ(code, c.output ? 0 : TrampolineProtocol::cannotStartTool) << output;
        EXPECT_EQ(marker == std::string::npos ? "(refused)" : output.substr(marker + TrampolineProtocol::startMarker.size()),
                  c.output ? c.output : "(refused)");
    }
    // A folder that others may write lets them put another script in its place.
    fs::permissions(app / "Resources", fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(run({"/bin/sh", pass, "/bin/true"}).first, TrampolineProtocol::cannotStartTool);
}
