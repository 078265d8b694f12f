#include "Common/MountFolderName.h"

#include <gtest/gtest.h>

#include <set>

namespace ntfs {
namespace {

TEST(MountFolderNameTest, LabelElseUuidElseDeviceMadeFitForOnePathComponent)
{
    struct Case {
        std::string label, uuid, device, expected;
    } cases[] = {
        {"Data", "ABCD-1234", "sdb1", "Data"},
        {"", "ABCD-1234", "sdb1", "ABCD-1234"},
        {"", "", "sdb1", "sdb1"},
        {"   ", "", "loop0", "loop0"},
        {"  Main Jöb ", "", "sdb1", "Main Jöb"},
        {"a/b/../c", "", "sdb1", "a_b_.._c"},
        {"line\nbreak\ttab\x7f", "", "sdb1", "line_break_tab_"},
        {"..", "", "sdb1", "__"},
        {".", "", "sdb1", "_"},
        {"", "", "", "disk"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MountFolderName::forVolume(c.label, c.uuid, c.device), c.expected) << c.label;
}

TEST(MountFolderNameTest, LongLabelIsCutOnACharacterBoundary)
{
    std::string label;
    for (int i = 0; i < 300; ++i)
        label += "é";
    auto name = MountFolderName::forVolume(label, "", "sdb1");
    EXPECT_EQ(name, label.substr(0, 240));
    EXPECT_EQ(MountFolderName::forVolume("x" + label, "", "sdb1").size(), 239u);
}

TEST(MountFolderNameTest, TakenNamesGetTheNextNumberAndTheChoicesEnd)
{
    std::set<std::string> taken;
    auto isTaken = [&](const std::string& name) { return taken.count(name) > 0; };
    EXPECT_EQ(MountFolderName::firstFree("Data", isTaken), "Data");
    taken = {"Data", "Data-2"};
    EXPECT_EQ(MountFolderName::firstFree("Data", isTaken), "Data-3");
    EXPECT_EQ(MountFolderName::firstFree("Data", [](auto&) { return true; }, 5), "");
}

}  // namespace
}  // namespace ntfs
