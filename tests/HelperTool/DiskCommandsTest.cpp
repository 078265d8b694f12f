#include "HelperTool/Operations/DiskCommands.h"
#include "HelperTool/Operations/RequestError.h"
#include "HelperTool/Platform/Linux/PosixCommandRunner.h"
#include "tests/HelperTool/FakeTools.h"
#include "tests/support/RecordingLogger.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace ntfs;
namespace fs = std::filesystem;

namespace {

// Client strings that a shell would split, quote, expand or read as options.
const std::string disk = "-disk 4s2 \"x\" 'y' $HOME";
const std::string name = "Daten \xC3\x9C *";

class DiskCommandsTest : public ::testing::Test {
protected:
    test::FakeTools tools;
    PosixCommandRunner runner;
    test::RecordingLogger logger;
    DiskCommands commands{runner, logger};
};

TEST_F(DiskCommandsTest, ToolsReceiveTheArgumentVectorAndItIsLoggedUnderItsLabel)
{
    using Call = std::function<void(DiskCommands&, const std::string&)>;
    const std::vector<std::tuple<Call, const char*, std::vector<std::string>, const char*>> cases = {
        {[](auto& c, auto& t) { c.checkDisk(t, disk); }, "tool", {disk}, "checkDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.formatNTFSDisk(t, disk, name); }, "tool", {"-v", name, disk}, "formatDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.formatDisk(t, disk, 0, name, true); }, "tool", {"eraseVolume", "ExFAT", name, disk}, "formatDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.formatDisk(t, disk, 0, name, false); }, "tool", {"eraseDisk", "ExFAT", name, disk}, "formatDiskWithExecutablePath"},
        {[](auto& c, auto&) { c.uninstallKextAndFileSystem("/L/a b.kext", "-fs"); }, "rm", {"-rf", "--", "/L/a b.kext", "-fs"},
         "uninstallKextAndFileSystem"},
        {[](auto& c, auto& t) { c.empiricalTestForFullDiskAccess(t, {"", "-x"}); }, "tool", {"", "-x"}, "empiricalTestForFullDiskAccess"},
        {[](auto& c, auto& t) { c.mountNTFSDisk(t, disk, "rw, x", "/Volumes/-My Disk"); }, "tool",
         {"-o", "rw, x", disk, "/Volumes/-My Disk"}, "mountDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.mountNTFSDisk(t, disk, "rw", "/Volumes/My Disk"); }, "mkdir", {"-p", "--", "/Volumes/My Disk"}, "mountDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.mountDisk(t, disk); }, "tool", {"mount", disk}, "mountDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.unmountDisk(t, disk); }, "tool", {"unmount", disk}, "mountDiskWithExecutablePath"},
        {[](auto& c, auto& t) { c.renameUnmountedVolume(t, disk, name); }, "tool", {"rename", disk, name},
         "renameUnmountedVolumeWithDiskUtilExecutablePath"},
    };
    for (const auto& [call, program, arguments, label] : cases) {
        SCOPED_TRACE(label);
        test::FakeTools caseTools;
        test::RecordingLogger caseLogger;
        DiskCommands caseCommands(runner, caseLogger, {caseTools.recorder("rm"), caseTools.recorder("mkdir")});
        call(caseCommands, caseTools.recorder("tool"));
        auto expected = arguments;
        expected.insert(expected.begin(), (caseTools.dir() / program).string());
        EXPECT_EQ(caseTools.recorded(program), expected);
        EXPECT_EQ(caseLogger.lines().back(), std::string(label) + ": ");
    }
}

TEST_F(DiskCommandsTest, BadFileSystemIndexesAreRefusedAndOnlyExitOneGrantsFullDiskAccess)
{
    for (std::int32_t index : {1, -1})
        EXPECT_THROW(commands.formatDisk(tools.recorder("tool"), "disk4", index, "Data", true), RequestError) << index;
    EXPECT_TRUE(tools.recorded("tool").empty());
    // The Full Disk Access probe is true only for exit status 1.
    for (const auto& [body, expected] : std::vector<std::pair<std::string, bool>>{
             {"exit 1", true}, {"exit 0", false}, {"exit 2", false}, {"kill -HUP $$", false}})  // HUP is 1, by a signal
        EXPECT_EQ(commands.empiricalTestForFullDiskAccess(tools.script("probe", body), {}), expected) << body;
    EXPECT_FALSE(commands.empiricalTestForFullDiskAccess((tools.dir() / "missing").string(), {"x"}));
}

TEST_F(DiskCommandsTest, ReplyTextIsTheCombinedOutputWithWhatTheBusRefusesReplaced)
{
    const std::vector<std::tuple<const char*, std::optional<std::string>, std::int32_t>> cases = {
        {"echo out1; echo err1 >&2; echo out2", "out1\nerr1\nout2\n", 0},
        {"printf 'ok\\377'; exit 3", std::nullopt, 3},
        {"printf '\\300\\257'", std::nullopt, 0},          // overlong
        {"printf '\\355\\240\\200'", std::nullopt, 0},     // surrogate
        {"printf '\\364\\220\\200\\200'", std::nullopt, 0},  // beyond U+10FFFF
        {"printf 'a\\000b\\357\\277\\276c\\357\\267\\220'", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xEF\xBF\xBD", 0},
        {"echo bye; kill -TERM $$", "bye\n", 15},
    };
    for (const auto& [body, text, status] : cases)
        EXPECT_EQ(commands.checkDisk(tools.script("tool", body), "d"), (CommandResult{text, status})) << body;
    auto lines = logger.lines();
    EXPECT_EQ(std::vector(lines.end() - 2, lines.end()), (std::vector<std::string>{"task execution error:(null)", "checkDiskWithExecutablePath: bye\n"}));
}

TEST_F(DiskCommandsTest, OutputBeyondTheCapIsCutOnACharacterWithANote)
{
    auto result = commands.checkDisk(tools.script("huge", "yes | head -c 209715200; exit 5"), "d");
    const std::string note = "[output truncated by the helper: the command wrote 209715200 bytes, more than one reply carries]\n";
    ASSERT_EQ(result.status, 5);
    EXPECT_LE(result.text->size(), PosixCommandRunner::defaultOutputCap + note.size() + 1);
    EXPECT_TRUE(result.text->ends_with(note));
    // NUL bytes grow into three-byte replacements; the text must still keep to the cap.
    EXPECT_LE(commands.checkDisk(tools.script("zeros", "head -c 17000000 /dev/zero"), "d").text.value().size(),
              PosixCommandRunner::defaultOutputCap + 200);

    auto euros = tools.script("euros", "printf 'ab\\342\\202\\254\\342\\202\\254'");  // "ab€€", 8 bytes
    for (std::size_t cap : {5u, 6u, 7u}) {
        PosixCommandRunner small(cap);
        EXPECT_TRUE(DiskCommands(small, logger).checkDisk(euros, "d").text.value_or("").starts_with("ab\xE2\x82\xAC\n[")) << cap;
    }
}

TEST_F(DiskCommandsTest, AFailedMountRemovesOnlyTheMountPointItMade)
{
    auto volumes = tools.dir() / "Volumes";
    for (auto folder : {volumes / "Held", volumes / "Empty", tools.dir() / "elsewhere"})
        fs::create_directories(folder);
    std::ofstream(volumes / "Held" / "keep.txt") << "data";
    auto mount = [&](const fs::path& at, const std::string& then = "") {
        auto tool = tools.script("mount_ntfs", "test -d \"$4\" && echo present\n" + then + "\nexit 1");
        return commands.mountNTFSDisk(tool, "d", "rw", at);
    };
    EXPECT_EQ(mount(volumes / "Made"), (CommandResult{"present\n", 1}));
    EXPECT_EQ(logger.lines().back(), "removeVolumeDirectoryAtPath: ");
    EXPECT_FALSE(fs::exists(volumes / "Made"));
    EXPECT_TRUE(fs::exists(volumes));
    for (auto there : {"Held", "Empty"})
        mount(volumes / there);
    mount(volumes / "Filled", "echo x > \"$4/new.txt\"");
    mount(volumes / "Swapped", "mv \"$4\" \"$4.old\" && mkdir \"$4\"");
    mount(volumes / "Linked", "rmdir \"$4\" && ln -s '" + (tools.dir() / "elsewhere").string() + "' \"$4\"");
    EXPECT_TRUE(fs::exists(volumes / "Held" / "keep.txt"));
    EXPECT_TRUE(fs::is_directory(volumes / "Empty"));
    EXPECT_TRUE(fs::exists(volumes / "Filled" / "new.txt"));
    EXPECT_TRUE(fs::is_directory(volumes / "Swapped"));
    EXPECT_TRUE(fs::is_symlink(volumes / "Linked"));
    EXPECT_TRUE(fs::is_directory(tools.dir() / "elsewhere"));

    for (auto guarded : {"mnt", "volumes"}) {
        EXPECT_EQ(mount(tools.dir() / guarded / "data").status, 1);
        EXPECT_TRUE(fs::is_directory(tools.dir() / guarded / "data")) << guarded;
        EXPECT_EQ(logger.lines().back(), "removeVolumeDirectoryAtPath, illegal params!");
    }
    EXPECT_EQ(commands.mountNTFSDisk(tools.script("ok", "echo mounted"), "d", "rw", volumes / "Ok"), (CommandResult{"mounted\n", 0}));
    EXPECT_TRUE(fs::is_directory(volumes / "Ok"));
}

}  // namespace
