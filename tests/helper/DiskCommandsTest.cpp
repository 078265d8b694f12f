#include "DiskCommands.h"
#include "FakeTools.h"
#include "PosixCommandRunner.h"
#include "RecordingLogger.h"
#include "RequestError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace ntfs;
namespace fs = std::filesystem;

namespace {

// Client strings that a shell would split, quote, expand or read as options.
const std::string disk = "-disk 4s2 \"x\" 'y' $HOME";
const std::string newName = "Daten \xC3\x9C *";
const std::string options = "rw, nobrowse";

class DiskCommandsTest : public ::testing::Test {
protected:
    std::vector<std::string> lastLines(std::size_t count) const
    {
        auto lines = logger.lines();
        return {lines.end() - static_cast<long>(std::min(count, lines.size())), lines.end()};
    }

    test::FakeTools tools;
    PosixCommandRunner runner;
    test::RecordingLogger logger;
    DiskCommands commands{runner, logger};
};

struct VectorCase {
    const char* name;
    std::function<void(DiskCommands&, const std::string& tool)> call;
    const char* program;  // which recorder runs
    std::vector<std::string> arguments;
    const char* lastLogLine;
};

TEST_F(DiskCommandsTest, BuildsEachArgumentVectorAndLogsUnderItsLabel)
{
    const std::vector<VectorCase> cases = {
        {"check", [](auto& c, auto& t) { c.checkDisk(t, disk); }, "tool", {disk}, "checkDiskWithExecutablePath: "},
        {"formatNTFS", [](auto& c, auto& t) { c.formatNTFSDisk(t, disk, newName); }, "tool", {"-v", newName, disk},
         "formatDiskWithExecutablePath: "},
        {"formatLeaf", [](auto& c, auto& t) { c.formatDisk(t, disk, 0, newName, true); }, "tool",
         {"eraseVolume", "ExFAT", newName, disk}, "formatDiskWithExecutablePath: "},
        {"formatDisk", [](auto& c, auto& t) { c.formatDisk(t, disk, 0, newName, false); }, "tool",
         {"eraseDisk", "ExFAT", newName, disk}, "formatDiskWithExecutablePath: "},
        {"uninstall", [](auto& c, auto&) { c.uninstallKextAndFileSystem("/L/a b.kext", "-fs"); }, "rm",
         {"-rf", "--", "/L/a b.kext", "-fs"}, "uninstallKextAndFileSystem: "},
        {"probe", [](auto& c, auto& t) { c.empiricalTestForFullDiskAccess(t, {"", "a b", "-x"}); }, "tool",
         {"", "a b", "-x"}, "empiricalTestForFullDiskAccess: "},
        {"mountNTFS", [](auto& c, auto& t) { c.mountNTFSDisk(t, disk, options, "/Volumes/My Disk"); }, "tool",
         {"-o", options, disk, "/Volumes/My Disk"}, "mountDiskWithExecutablePath: "},
        {"mkdirOfMountNTFS", [](auto& c, auto& t) { c.mountNTFSDisk(t, disk, options, "/Volumes/My Disk"); }, "mkdir",
         {"-p", "--", "/Volumes/My Disk"}, "mountDiskWithExecutablePath: "},
        {"mount", [](auto& c, auto& t) { c.mountDisk(t, disk); }, "tool", {"mount", disk}, "mountDiskWithExecutablePath: "},
        {"unmount", [](auto& c, auto& t) { c.unmountDisk(t, disk); }, "tool", {"unmount", disk},
         "mountDiskWithExecutablePath: "},
        {"rename", [](auto& c, auto& t) { c.renameUnmountedVolume(t, disk, newName); }, "tool", {"rename", disk, newName},
         "renameUnmountedVolumeWithDiskUtilExecutablePath: "},
        {"emptyStrings", [](auto& c, auto& t) { c.renameUnmountedVolume(t, "", ""); }, "tool", {"rename", "", ""},
         "renameUnmountedVolumeWithDiskUtilExecutablePath: "},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        test::FakeTools caseTools;
        test::RecordingLogger caseLogger;
        auto tool = caseTools.recorder("tool");
        DiskCommands caseCommands(runner, caseLogger,
                                  {caseTools.recorder("rm"), caseTools.recorder("mkdir")});
        testCase.call(caseCommands, tool);

        auto expected = testCase.arguments;
        expected.insert(expected.begin(), (caseTools.dir() / testCase.program).string());
        EXPECT_EQ(caseTools.recorded(testCase.program), expected);
        auto lines = caseLogger.lines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], "task execution error:(null)");
        EXPECT_EQ(lines.back(), testCase.lastLogLine);
    }
}

TEST_F(DiskCommandsTest, UninstallRepliesWithRmsStatusOnly)
{
    DiskCommands failingRm(runner, logger, {tools.script("rm", "echo cannot; exit 7")});
    EXPECT_EQ(failingRm.uninstallKextAndFileSystem("a", "b"), 7);
    EXPECT_EQ(commands.uninstallKextAndFileSystem((tools.dir() / "none1").string(), (tools.dir() / "none2").string()), 0);
}

TEST_F(DiskCommandsTest, RefusesFileSystemIndexesOutsideTheTableWithoutRunningAnything)
{
    auto tool = tools.recorder("tool");
    for (std::int32_t index : {1, -1, 2147483647}) {
        try {
            commands.formatDisk(tool, "disk4", index, "Data", true);
            ADD_FAILURE() << "index " << index << " accepted";
        } catch (const RequestError& error) {
            EXPECT_EQ(error.name(), "org.freedesktop.DBus.Error.InvalidArgs");
            EXPECT_NE(std::string(error.what()).find(std::to_string(index)), std::string::npos) << error.what();
        }
    }
    EXPECT_TRUE(tools.recorded("tool").empty());
    EXPECT_TRUE(logger.lines().empty());
}

TEST_F(DiskCommandsTest, FullDiskAccessProbeIsTrueOnlyForExitOne)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"exit 1", true}, {"exit 0", false}, {"exit 2", false}, {"exit 257", true},
        {"kill -HUP $$", false},  // status 1 as well, but by a signal
        {"kill -KILL $$", false},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(commands.empiricalTestForFullDiskAccess(tools.script("probe", body), {}), expected) << body;
        EXPECT_EQ(logger.lines().back().rfind("empiricalTestForFullDiskAccess: ", 0), 0u);
    }
    EXPECT_FALSE(commands.empiricalTestForFullDiskAccess((tools.dir() / "missing").string(), {"x"}));
}

TEST_F(DiskCommandsTest, ReplyTextIsTheCombinedOutputDecodedAsUtf8)
{
    struct Case {
        const char* body;
        std::optional<std::string> text;
        std::int32_t status;
    };
    const std::vector<Case> cases = {
        {"echo out1; echo err1 >&2; echo out2; echo err2 >&2", "out1\nerr1\nout2\nerr2\n", 0},
        {"exit 4", "", 4},
        {"printf 'ok\\377'; exit 3", std::nullopt, 3},
        {"printf 'caf\\303\\251'", "caf\xC3\xA9", 0},
        {"printf 'a\\000b'", "a\xEF\xBF\xBD" "b", 0},  // the bus cannot carry NUL
        {"echo bye; kill -TERM $$", "bye\n", 15},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(commands.checkDisk(tools.script("tool", testCase.body), "d"), (CommandResult{testCase.text, testCase.status}))
            << testCase.body;
        auto expectedLine = "checkDiskWithExecutablePath: " + testCase.text.value_or("(null)");
        EXPECT_EQ(lastLines(2), (std::vector<std::string>{"task execution error:(null)", expectedLine}));
    }
}

TEST_F(DiskCommandsTest, ACommandThatCannotStartRepliesLikeAShellWithTheLoggedError)
{
    auto notExecutable = tools.dir() / "plain";
    std::ofstream(notExecutable) << "echo hi\n";
    auto garbage = tools.script("garbage", "");
    std::ofstream(garbage, std::ios::trunc) << "\x7f" "ELF not really";

    const std::vector<std::pair<std::string, std::int32_t>> cases = {
        {(tools.dir() / "missing").string(), 127},
        {(tools.dir() / "plain" / "below").string(), 127},
        {notExecutable.string(), 126},
        {tools.dir().path().string(), 126},
        {garbage, 126},
    };
    for (const auto& [path, status] : cases) {
        auto result = commands.checkDisk(path, "disk1");
        EXPECT_EQ(result.status, status) << path;
        ASSERT_TRUE(result.text) << path;
        EXPECT_NE(result.text->find(path), std::string::npos) << *result.text;
        EXPECT_EQ(lastLines(2), (std::vector<std::string>{"task execution error:" + *result.text,
                                                          "checkDiskWithExecutablePath: " + *result.text}));
    }
}

TEST_F(DiskCommandsTest, OutputBeyondTheCapIsDrainedAndCutWithANote)
{
    auto huge = tools.script("huge", "yes | head -c 209715200; exit 5");
    auto result = commands.checkDisk(huge, "d");
    EXPECT_EQ(result.status, 5);
    ASSERT_TRUE(result.text);
    const std::string note = "[output truncated by the helper: the command wrote 209715200 bytes, more than one reply carries]\n";
    ASSERT_GT(result.text->size(), note.size());
    EXPECT_LE(result.text->size(), PosixCommandRunner::defaultOutputCap + note.size() + 1);
    EXPECT_EQ(result.text->substr(0, 4), "y\ny\n");
    EXPECT_EQ(result.text->substr(result.text->size() - note.size()), note);

    // NUL bytes grow into three-byte replacements; the text must still keep to the cap.
    auto zeros = tools.script("zeros", "head -c 17000000 /dev/zero");
    auto grown = commands.checkDisk(zeros, "d");
    ASSERT_TRUE(grown.text);
    EXPECT_LE(grown.text->size(), PosixCommandRunner::defaultOutputCap + 200);
    EXPECT_NE(grown.text->find("[output truncated by the helper"), std::string::npos);
}

TEST_F(DiskCommandsTest, TruncationNeverSplitsACharacter)
{
    auto euros = tools.script("euros", "printf 'ab\\342\\202\\254\\342\\202\\254'");  // "ab€€", 8 bytes
    for (std::size_t cap : {5u, 6u, 7u}) {
        PosixCommandRunner small(cap);
        DiskCommands capped(small, logger);
        auto result = capped.checkDisk(euros, "d");
        ASSERT_TRUE(result.text) << cap;
        EXPECT_EQ(result.text->substr(0, 6), "ab\xE2\x82\xAC\n") << cap;
    }
}

class MountPointTest : public DiskCommandsTest {
protected:
    // A mount tool that reports whether the mount point was there when it ran, and fails.
    std::string failingMount(const std::string& extra = "")
    {
        return tools.script("mount_ntfs", "test -d \"$4\" && echo present\n" + extra + "\nexit 1");
    }
    bool loggedGuard() const
    {
        auto lines = logger.lines();
        return std::find(lines.begin(), lines.end(), "removeVolumeDirectoryAtPath, illegal params!") != lines.end();
    }
};

TEST_F(MountPointTest, AMountPointMadeForAFailedMountIsRemovedAgain)
{
    auto mountPoint = tools.dir() / "Volumes" / "Data";
    EXPECT_EQ(commands.mountNTFSDisk(failingMount(), "disk4s2", "rw", mountPoint), (CommandResult{"present\n", 1}));
    EXPECT_FALSE(fs::exists(mountPoint));
    EXPECT_TRUE(fs::exists(mountPoint.parent_path()));  // only what the mount needed is undone
    EXPECT_EQ(logger.lines().back(), "removeVolumeDirectoryAtPath: ");
}

TEST_F(MountPointTest, TheGuardKeepsPathsWithoutVolumes)
{
    for (auto name : {"mnt", "volumes"}) {
        auto mountPoint = tools.dir() / name / "data";
        EXPECT_EQ(commands.mountNTFSDisk(failingMount(), "disk4s2", "rw", mountPoint).status, 1);
        EXPECT_TRUE(fs::is_directory(mountPoint)) << name;
        EXPECT_EQ(logger.lines().back(), "removeVolumeDirectoryAtPath, illegal params!");
    }
    EXPECT_EQ(commands.removeVolumeDirectoryAtPath("/volumes/data", DiskCommands::MadeDirectory{}), 22);
}

TEST_F(MountPointTest, NothingThatWasThereOrArrivedIsRemoved)
{
    auto held = tools.dir() / "Volumes" / "Held";
    fs::create_directories(held);
    std::ofstream(held / "keep.txt") << "data";
    auto empty = tools.dir() / "Volumes" / "Empty";
    fs::create_directories(empty);
    auto filled = tools.dir() / "Volumes" / "Filled";  // made by the request, then written by the tool
    // Made by the request, then swapped by someone for another empty folder, or for a symlink to one.
    auto swapped = tools.dir() / "Volumes" / "Swapped";
    auto linked = tools.dir() / "Volumes" / "Linked";
    auto elsewhere = tools.dir() / "elsewhere";
    fs::create_directories(elsewhere);

    EXPECT_EQ(commands.mountNTFSDisk(failingMount(), "d", "rw", held).status, 1);
    EXPECT_EQ(commands.mountNTFSDisk(failingMount(), "d", "rw", empty).status, 1);
    EXPECT_EQ(commands.mountNTFSDisk(failingMount("echo x > \"$4/new.txt\""), "d", "rw", filled).status, 1);
    EXPECT_EQ(commands.mountNTFSDisk(failingMount("mv \"$4\" \"$4.old\" && mkdir \"$4\""), "d", "rw", swapped).status, 1);
    EXPECT_EQ(commands.mountNTFSDisk(failingMount("rmdir \"$4\" && ln -s '" + elsewhere.string() + "' \"$4\""), "d", "rw", linked).status, 1);

    EXPECT_TRUE(fs::exists(held / "keep.txt"));
    EXPECT_TRUE(fs::is_directory(empty));
    EXPECT_TRUE(fs::exists(filled / "new.txt"));
    EXPECT_TRUE(fs::is_directory(swapped));
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_TRUE(fs::is_directory(elsewhere));
    EXPECT_FALSE(loggedGuard());
}

TEST_F(MountPointTest, ASuccessfulMountKeepsItsMountPoint)
{
    auto mountPoint = tools.dir() / "Volumes" / "Ok";
    auto mount = tools.script("mount_ntfs", "echo mounted");
    EXPECT_EQ(commands.mountNTFSDisk(mount, "d", "rw", mountPoint), (CommandResult{"mounted\n", 0}));
    EXPECT_TRUE(fs::is_directory(mountPoint));
}

TEST_F(MountPointTest, WhenTheMountPointCannotBeMadeTheToolNeverRuns)
{
    std::ofstream(tools.dir() / "file") << "x";
    auto mount = tools.recorder("mount_ntfs", "exit 1");
    auto result = commands.mountNTFSDisk(mount, "d", "rw", tools.dir() / "file" / "Volumes" / "x");
    EXPECT_EQ(result, (CommandResult{std::nullopt, 1}));
    EXPECT_TRUE(tools.recorded("mount_ntfs").empty());
    EXPECT_EQ(logger.lines().back().rfind("createDirectoryAtPath: /bin/mkdir: ", 0), 0u) << logger.lines().back();
}

}  // namespace
