#include "PosixCommandRunner.h"

#include <gtest/gtest.h>

using namespace ntfs;

TEST(PosixCommandRunner, KeepsTheCappedHeadAndCountsWhatItDropped)
{
    PosixCommandRunner runner(1000);
    auto run = runner.run("/bin/sh", {"-c", "head -c 5000000 /dev/zero; exit 9"});
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.status, (ExitStatus{ExitStatus::Kind::Exited, 9}));
    EXPECT_EQ(run.output, std::string(1000, '\0'));
    EXPECT_EQ(run.droppedBytes, 5000000u - 1000u);
}
