#include "Subprocess.h"

#include <gtest/gtest.h>

#include <csignal>
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

TEST(Subprocess, LeavesStandardErrorOursWhenAsked)
{
    SpawnRequest request{"/bin/sh", {"-c", "echo out; echo err >&2"}};
    request.errorsToOutput = false;
    EXPECT_EQ(run(request).second, "out\n");
    request.runAs = RunAs{getuid(), getgid(), {getgid()}};
    if (geteuid() == 0) {
        EXPECT_EQ(run(request).second, "out\n");
    }
}
