#include "LogFormat.h"

#include <gtest/gtest.h>

using ntfs::formatLog;

TEST(LogFormat, FillsPlaceholdersInOrderAndPrintsAbsentTextAsNull)
{
    EXPECT_EQ(formatLog("task execution error:%@", std::optional<std::string>{}), "task execution error:(null)");
    EXPECT_EQ(formatLog("a %@ b %d c", "x", 7), "a x b 7 c");
    EXPECT_EQ(formatLog("no placeholder", "x"), "no placeholder");
    EXPECT_EQ(formatLog("%@%@", "%@", "y"), "%@y");  // an argument is never read as a format
}
