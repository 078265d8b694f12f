#include "Common/Subprocess.h"
#include "Common/UniqueFd.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace ntfs;

namespace {

std::pair<ExitStatus, std::string> run(SpawnRequest request)
{
    auto child = Subprocess::spawn(request);
    std::string output;
    auto status = child.waitDrainingOutput([&](std::string_view chunk) { output.append(chunk); });
    return {status, output};
}

std::pair<ExitStatus, std::string> runShell(const std::string& script) { return run({"/bin/sh", {"-c", script}, {}}); }

}  // namespace

TEST(Subprocess, KeepsExitApartFromSignalAndTheEndFromAGrandchildHoldingThePipe)
{
    EXPECT_EQ(runShell("echo one; echo two >&2; exit 3"), (std::pair{ExitStatus{ExitStatus::Kind::Exited, 3}, std::string("one\ntwo\n")}));
    EXPECT_EQ(runShell("kill -9 $$").first, (ExitStatus{ExitStatus::Kind::Signaled, SIGKILL}));
    EXPECT_EQ(runShell("echo start; (sleep 5 &) ; exit 0"), (std::pair{ExitStatus{ExitStatus::Kind::Exited, 0}, std::string("start\n")}));
}

TEST(Subprocess, RunsAsAnotherUserWithOnlyTheGivenEnvironment)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "switching users needs root";
    constexpr uid_t nobody = 65534;
    SpawnRequest request{"/bin/sh", {"-c", "echo $(id -u) $(id -g) $(id -G) ${HOME:-none} $LANG"}};
    request.environment = {"LANG=C.UTF-8"};
    request.runAs = RunAs{nobody, nobody, {nobody, 4}};
    EXPECT_EQ(run(request), (std::pair{ExitStatus{ExitStatus::Kind::Exited, 0}, std::string("65534 65534 65534 4 none C.UTF-8\n")}));
}

// Past its deadline a child and everything in its process group is killed, and nothing waits for
// them; the input file is what the child reads.
TEST(Subprocess, DeadlineEndsTheWholeGroup)
{
    SpawnRequest request{"/bin/sh", {"-c", "read word; echo $word; sleep 30 & echo $!; wait"}};
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    request.input = "/proc/self/fd/" + std::to_string(fds[0]);
    ASSERT_EQ(write(fds[1], "given\n", 6), 6);
    request.ownProcessGroup = true;
    auto child = Subprocess::spawn(request);
    close(fds[0]);
    close(fds[1]);
    child.setDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    std::string output;
    EXPECT_EQ(child.waitDrainingOutput([&](std::string_view chunk) { output.append(chunk); }),
              (ExitStatus{ExitStatus::Kind::Signaled, SIGKILL}));
    EXPECT_TRUE(child.deadlinePassed());
    ASSERT_EQ(output.substr(0, 6), "given\n");
    // The background sleep got the group's SIGKILL too: it ends (a busy machine may take a moment
    // to deliver it), or it is gone already.
    pid_t sleeper = std::stoi(output.substr(6));
    UniqueFd exit(static_cast<int>(syscall(SYS_pidfd_open, sleeper, 0)));
    if (!exit) {
        EXPECT_EQ(errno, ESRCH);
        return;
    }
    pollfd ended{exit.get(), POLLIN, 0};
    EXPECT_EQ(poll(&ended, 1, 10'000), 1) << "the background sleep outlived its group";
}

TEST(Subprocess, LeavesStandardErrorOrBothStreamsOursWhenAsked)
{
    SpawnRequest own{"/bin/sh", {"-c", "[ \"$(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)\" = \"$0\" ]",
                                 std::filesystem::read_symlink("/proc/self/fd/1").string() + " "
                                     + std::filesystem::read_symlink("/proc/self/fd/2").string()}};
    own.captureOutput = false;
    EXPECT_EQ(Subprocess::spawn(own).waitForExit(), (ExitStatus{ExitStatus::Kind::Exited, 0}));

    SpawnRequest request{"/bin/sh", {"-c", "echo out; echo err >&2"}};
    request.errorsToOutput = false;
    EXPECT_EQ(run(request).second, "out\n");
    request.runAs = RunAs{getuid(), getgid(), {getgid()}};
    if (geteuid() == 0) {
        EXPECT_EQ(run(request).second, "out\n");
    }
}
