#include "Subprocess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

using namespace ntfs;

namespace {

std::pair<ExitStatus, std::string> runShell(const std::string& script, SpawnRequest request = {})
{
    request.program = "/bin/sh";
    request.arguments = {"-c", script};
    auto child = Subprocess::spawn(request);
    std::string output;
    auto status = child.waitDrainingOutput([&](std::string_view chunk) { output.append(chunk); });
    return {status, output};
}

}  // namespace

TEST(Subprocess, InterleavesBothStreamsAndKeepsExitApartFromSignal)
{
    auto [status, output] = runShell("echo one; echo two >&2; echo three; exit 3");
    EXPECT_EQ(output, "one\ntwo\nthree\n");
    EXPECT_EQ(status, (ExitStatus{ExitStatus::Kind::Exited, 3}));

    auto [killed, ignored] = runShell("kill -9 $$");
    EXPECT_EQ(killed, (ExitStatus{ExitStatus::Kind::Signaled, SIGKILL}));
}

TEST(Subprocess, ArgumentsArriveUnsplitAndStdinIsEmpty)
{
    SpawnRequest request{"/usr/bin/printf", {"[%s]", "a b", "'q\"", "-x", "\xC3\xA9t\xC3\xA9"}, {}};
    auto child = Subprocess::spawn(request);
    std::string output;
    child.waitDrainingOutput([&](std::string_view chunk) { output.append(chunk); });
    EXPECT_EQ(output, "[a b]['q\"][-x][\xC3\xA9t\xC3\xA9]");

    EXPECT_EQ(runShell("cat; echo end").second, "end\n");
}

TEST(Subprocess, ReportsStartFailuresWithErrno)
{
    test::TempDir dir;
    auto check = [](const std::string& program, int expected) {
        try {
            Subprocess::spawn({program, {}, {}});
            ADD_FAILURE() << program << " started";
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), expected) << program;
        }
    };
    check((dir / "missing").string(), ENOENT);
    check(dir.path().string(), EACCES);
}

TEST(Subprocess, RunsInTheRequestedDirectoryWithoutMovingUs)
{
    test::TempDir dir;
    auto before = std::filesystem::current_path();
    SpawnRequest request;
    request.workingDirectory = dir.path();
    EXPECT_EQ(runShell("pwd -P", request).second, std::filesystem::canonical(dir.path()).string() + "\n");
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST(Subprocess, ClosesInheritedDescriptorsInTheChild)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);  // deliberately without close-on-exec
    auto [status, output] = runShell("ls /proc/self/fd | wc -l");
    close(fds[0]);
    close(fds[1]);
    // stdin, stdout, stderr and the fd of the listing itself
    EXPECT_EQ(output, "4\n");
}

TEST(Subprocess, DrainsLargeOutputAndIgnoresAGrandchildHoldingThePipe)
{
    auto [status, output] = runShell("head -c 10000000 /dev/zero");
    EXPECT_EQ(output.size(), 10000000u);

    auto [status2, output2] = runShell("echo start; (sleep 5 &) ; exit 0");
    EXPECT_EQ(output2, "start\n");
    EXPECT_EQ(status2.value, 0);
}

TEST(Subprocess, MovingOrReleasingHandsTheChildOverWithoutKillingIt)
{
    std::optional<Subprocess> held;
    held.emplace(Subprocess::spawn({"/bin/sh", {"-c", "sleep 0.2; exit 7"}, {}}));
    EXPECT_EQ(held->waitForExit(), (ExitStatus{ExitStatus::Kind::Exited, 7}));

    pid_t pid;
    {
        auto released = Subprocess::spawn({"/bin/sh", {"-c", "sleep 0.2; exit 8"}});
        released.release();
        pid = released.pid();
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 8);
}

TEST(Subprocess, RunsAsAnotherUserWithOnlyTheGivenEnvironment)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "switching users needs root";
    constexpr uid_t nobody = 65534;
    SpawnRequest request{"/bin/sh", {"-c", "echo $(id -u) $(id -g) $(id -G) ${HOME:-none} $LANG"}};
    request.environment = {"LANG=C.UTF-8"};
    request.runAs = RunAs{nobody, nobody, {nobody, 4}};
    auto child = Subprocess::spawn(request);
    std::string output;
    EXPECT_EQ(child.waitDrainingOutput([&](std::string_view chunk) { output.append(chunk); }).value, 0);
    EXPECT_EQ(output, "65534 65534 65534 4 none C.UTF-8\n");

    request.program = "/nonexistent";
    EXPECT_THROW(Subprocess::spawn(request), std::system_error);
}
