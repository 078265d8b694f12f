#include "ChildProcess.h"
#include "TaskFixture.h"
#include "TrampolineProtocol.h"

#include <fstream>
#include <unistd.h>

using namespace ntfs;
using ntfs::test::ChildProcess;
using Elevation = ntfs::test::TaskFixture;

TEST_F(Elevation, LaunchesThatEndBeforeTheToolRunsReportWhy)
{
    const struct { bool root; const char* pkexec; const char* tool; std::int32_t status; } cases[] = {  // pkexec none: not there
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
        std::ofstream(dir_ / "pkexec") << "#!/bin/sh\n" << (c.pkexec ? c.pkexec : "") << "\n";
        std::filesystem::permissions(dir_ / "pkexec", std::filesystem::perms::owner_all);
        useElevator(c.root, dir_ / (c.pkexec ? "pkexec" : "none"));
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
    // The output after the start marker; none when refused (125, no marker).
    const std::pair<std::vector<std::string>, const char*> cases[] = {
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
    for (const auto& [command, expected] : cases) {
        SCOPED_TRACE(command.front() + " " + (command.size() > 1 ? command[1] : ""));
        auto [code, output] = run(command);
        auto marker = output.find(TrampolineProtocol::startMarker);
        EXPECT_EQ(code, expected ? 0 : TrampolineProtocol::cannotStartTool) << output;
        EXPECT_EQ(marker == std::string::npos ? "(refused)" : output.substr(marker + TrampolineProtocol::startMarker.size()),
                  expected ? expected : "(refused)");
    }
    // A folder that others may write lets them put another script in its place.
    fs::permissions(app / "Resources", fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(run({"/bin/sh", pass, "/bin/true"}).first, TrampolineProtocol::cannotStartTool);
}
