#include "PosixCommandRunner.h"
#include "FakeTools.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>

using namespace ntfs;

namespace {

std::size_t openDescriptors()
{
    std::size_t count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count;
}

}  // namespace

TEST(PosixCommandRunner, KeepsTheCappedHeadAndCountsWhatItDropped)
{
    test::FakeTools tools;
    PosixCommandRunner runner(1000);
    auto run = runner.run(tools.script("t", "head -c 5000000 /dev/zero; exit 9"), {});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.status, (ExitStatus{ExitStatus::Kind::Exited, 9}));
    EXPECT_EQ(run.output, std::string(1000, '\0'));
    EXPECT_EQ(run.droppedBytes, 5000000u - 1000u);
}

TEST(PosixCommandRunner, ReportsStartFailuresAndSignalsApart)
{
    test::FakeTools tools;
    PosixCommandRunner runner;
    auto missing = runner.run((tools.dir() / "missing").string(), {});
    ASSERT_FALSE(missing.started());
    EXPECT_EQ(*missing.startError, std::errc::no_such_file_or_directory);

    auto killed = runner.run(tools.script("t", "kill -TERM $$"), {});
    EXPECT_EQ(killed.status, (ExitStatus{ExitStatus::Kind::Signaled, SIGTERM}));
}

TEST(PosixCommandRunner, RepliesWhileAGrandchildHoldsThePipeAndLeaksNoDescriptor)
{
    test::FakeTools tools;
    PosixCommandRunner runner;
    auto before = openDescriptors();
    // The grandchild's sleep would hold the reply for 30 s if the runner waited for the pipe's end.
    auto run = runner.run(tools.script("t", "echo started; sleep 30 & exit 0"), {});
    EXPECT_EQ(run.output, "started\n");
    EXPECT_EQ(run.status.value, 0);
    for (int i = 0; i < 50; ++i)
        runner.run((tools.dir() / "missing").string(), {});
    EXPECT_EQ(openDescriptors(), before);
}
