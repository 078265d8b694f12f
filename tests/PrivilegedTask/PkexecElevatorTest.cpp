#include "PrivilegedTask/Trampoline/TrampolineProtocol.h"
#include "tests/PrivilegedTask/TaskFixture.h"
#include "tests/support/ChildProcess.h"

#include <fstream>
#include <optional>
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

TEST_F(Elevation, TheTrampolineRunsOnlyTheAppsOwnToolsOnTheAppsOwnFiles)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "the trampoline runs only tools that root alone can change; run as root";
    namespace fs = std::filesystem;
    const auto app = dir_ / "app";
    const auto trampoline = (app / "ntfs-privileged-trampoline").string();
    const auto pass = (app / "Resources/pass.sh").string(), nested = (app / "Resources/nested").string();
    fs::create_directories(app / "Resources/nested");
    fs::copy_file(NTFS_TRAMPOLINE_PATH, trampoline);
    std::ofstream(pass) << "echo \"$@\"\n";
    std::ofstream(app / "ntfs-bless-helper") << "#!/bin/sh\necho blessed \"$@\"\n";
    fs::permissions(app / "ntfs-bless-helper", fs::perms::owner_all);
    fs::create_symlink(app / "ntfs-bless-helper", dir_ / "bless-link");
    std::ofstream(dir_ / "elsewhere.sh") << "echo elsewhere\n";
    // The output after the start marker; none when refused (125, no marker).
    const std::pair<std::vector<std::string>, std::optional<std::string>> cases[] = {
        {{(app / "ntfs-bless-helper").string(), "com.zel.ntfs.HelperTool"}, "blessed com.zel.ntfs.HelperTool\n"},
        {{(dir_ / "bless-link").string(), "x"}, "blessed x\n"},  // known by its real path
        {{"/bin/sh", pass, nested + "/../pass.sh", nested}, pass + " " + nested + "\n"},  // arguments by their real paths
        {{"/bin/sh", pass, "/etc/passwd"}, std::nullopt},  // an argument from outside the app
        {{"/bin/sh", pass, nested, "relative"}, std::nullopt},
        {{"/bin/sh", pass, ""}, std::nullopt},
        {{"/bin/sh", "-c", "echo options"}, std::nullopt},
        {{"/bin/sh", (dir_ / "elsewhere.sh").string()}, std::nullopt},
        {{"/bin/sh", (app / "Resources/nested/deeper.sh").string()}, std::nullopt},
        {{"/bin/echo", "any program"}, std::nullopt},
        {{(app / "missing").string()}, std::nullopt},
    };
    auto run = [&](std::vector<std::string> command, std::vector<std::string> environment = {}) {
        command.insert(command.begin(), trampoline);
        return ChildProcess::run(command, {environment, std::nullopt, true});
    };
    for (const auto& [command, expected] : cases) {
        SCOPED_TRACE(command.front() + " " + (command.size() > 1 ? command.back() : ""));
        auto [code, output] = run(command);
        auto marker = output.find(TrampolineProtocol::startMarker);
        EXPECT_EQ(code, expected ? 0 : TrampolineProtocol::cannotStartTool) << output;
        EXPECT_EQ(marker == std::string::npos ? "(refused)" : output.substr(marker + TrampolineProtocol::startMarker.size()),
                  expected.value_or("(refused)"));
    }
    // The install script handed files of another user's choosing: refused, nothing installed.
    for (const char* script : {"Install-Kext.sh", "Install-Executables.sh", "driver-common.sh"})
        fs::copy_file(fs::path(NTFS_SCRIPTS_DIR) / script, app / "Resources" / script);
    fs::create_directories(dir_ / "evil/kext");
    for (const char* file : {"fix", "fmt", "fs"})
        std::ofstream(dir_ / "evil" / file) << "planted\n";
    fs::create_directories(dir_ / "root");
    EXPECT_EQ(run({"/bin/sh", (app / "Resources/Install-Kext.sh").string(), "/etc/shadow", (dir_ / "evil/fix").string(),
                   (dir_ / "evil/fmt").string(), (dir_ / "evil/kext").string(), (dir_ / "evil/fs").string()},
                  {"NTFS_INSTALL_ROOT=" + (dir_ / "root").string()})
                  .first,
              TrampolineProtocol::cannotStartTool);
    EXPECT_TRUE(fs::is_empty(dir_ / "root"));
    // A file of the app that others may write is no longer the app's own.
    fs::permissions(app / "Resources/nested", fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(run({"/bin/sh", pass, nested}).first, TrampolineProtocol::cannotStartTool);
    // A folder that others may write lets them put another script in its place.
    fs::permissions(app / "Resources", fs::perms::group_write, fs::perm_options::add);
    EXPECT_EQ(run({"/bin/sh", pass}).first, TrampolineProtocol::cannotStartTool);
}
