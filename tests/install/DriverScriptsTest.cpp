// The driver scripts of the app folder, run through /bin/sh as the app runs them, into a temporary
// NTFS_INSTALL_ROOT with the driver stand-ins; module tools are fakes on PATH.
#include "ChildProcess.h"
#include "TempDir.h"
#include "TreeSnapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using ntfs::test::ChildProcess;
using ntfs::test::readFile;
using ntfs::test::TempDir;
using ntfs::test::TreeSnapshot;
using ntfs::test::writeFile;

const fs::path resources = fs::path(NTFS_APP_DIR) / "Resources";
const fs::path registrationRoot = NTFS_REGISTRATION_ROOT;

std::string kernelRelease()
{
    utsname name{};
    uname(&name);
    return name.release;
}

std::string resource(const char* name) { return (resources / name).string(); }

struct ScriptRun {
    int status;
    std::string output;
};

class DriverScripts : public ::testing::Test {
protected:
    TempDir root_;
    TempDir work_;
    const std::string alias_ = "etc/modprobe.d/tarn_ntfs.conf";

    // The install scripts run in their own folder, the others where the process stands.
    ScriptRun run(const std::string& script, const std::vector<std::string>& args,
                  std::vector<std::string> environment = {}, std::optional<fs::path> directory = {})
    {
        bool rootGiven = std::any_of(environment.begin(), environment.end(),
                                     [](const std::string& e) { return e.starts_with("NTFS_INSTALL_ROOT="); });
        if (!rootGiven)
            environment.push_back("NTFS_INSTALL_ROOT=" + root_.path().string());
        fs::path cwd = directory.value_or(script.starts_with("Install") ? resources : work_.path());
        std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$1\" && shift && exec /bin/sh \"$@\"", "sh",
                                      cwd.string(), (resources / script).string()};
        argv.insert(argv.end(), args.begin(), args.end());
        ntfs::test::ChildOptions options;
        options.environment = std::move(environment);
        auto [status, output] = ChildProcess::run(argv, options);
        return {status, output};
    }

    static std::vector<std::string> kextArguments()
    {
        return {resource("libintl.8.dylib"), resource("tarn_ntfs_fix"), resource("tarn_ntfs-formatter"),
                resource("tarn_ntfs.kext"), resource("tarn_ntfs.fs")};
    }

    TreeSnapshot tree() const { return TreeSnapshot::of(root_.path()); }
    bool rootIsEmpty() const { return fs::is_empty(root_.path()); }
};

TEST_F(DriverScripts, InstallKextPutsTheDriverInItsPlaces)
{
    auto result = run("Install-Kext.sh", kextArguments());
    ASSERT_EQ(result.status, 0) << result.output;

    struct Placed {
        std::string path;
        const char* source;
        unsigned mode;
    };
    const std::vector<Placed> placed{
        {"usr/local/lib/tarn_ntfs/libintl.so.8", "libintl.8.dylib", 0644},
        {"usr/local/sbin/tarn_ntfs_fix", "tarn_ntfs_fix", 0755},
        {"usr/local/sbin/tarn_ntfs-formatter", "tarn_ntfs-formatter", 0755},
        {"usr/local/sbin/tarn_ntfs-diskutil", "tarn_ntfs-diskutil", 0755},
        {"usr/local/lib/tarn_ntfs/tarn_ntfs-probe", "tarn_ntfs-probe", 0755},
        {alias_, "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf", 0644},
        {"usr/local/lib/tarn_ntfs/tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf", "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf", 0644},
        {"usr/local/lib/tarn_ntfs/tarn_ntfs.kext/README", "tarn_ntfs.kext/README", 0644},
        {"usr/local/lib/tarn_ntfs/tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs",
         "tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs", 0755},
        {"usr/local/lib/tarn_ntfs/tarn_ntfs.fs/README", "tarn_ntfs.fs/README", 0644},
    };
    auto snapshot = tree();
    for (const auto& file : placed) {
        SCOPED_TRACE(file.path);
        auto found = snapshot.entries().find(file.path);
        ASSERT_NE(found, snapshot.entries().end());
        EXPECT_EQ(found->second, (TreeSnapshot::Entry{'f', file.mode, readFile(resources / file.source)}));
    }
    EXPECT_EQ(snapshot.entries().at("sbin/mount.tarn_ntfs"),
              (TreeSnapshot::Entry{'l', 0, "/usr/local/lib/tarn_ntfs/tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs"}));
    // Nothing else: no half-written copies left beside the files.
    EXPECT_EQ(snapshot.nonFolders().size(), placed.size() + 1);
    for (const char* line : {"installed ", "linked "})
        EXPECT_NE(result.output.find(line), std::string::npos) << line;
}

TEST_F(DriverScripts, InstallExecutablesPutsOnlyTheLibraryAndTheTools)
{
    // Named relative to the script's folder, where the app starts it.
    auto result = run("Install-Executables.sh", {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter"});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(tree().nonFolders(), (std::vector<std::string>{"usr/local/lib/tarn_ntfs/libintl.so.8",
                                                             "usr/local/lib/tarn_ntfs/tarn_ntfs-probe",
                                                             "usr/local/sbin/tarn_ntfs-diskutil",
                                                             "usr/local/sbin/tarn_ntfs-formatter",
                                                             "usr/local/sbin/tarn_ntfs_fix"}));
}

TEST_F(DriverScripts, InstallingAgainGivesTheSameTreeAndRepairsChangedFiles)
{
    ASSERT_EQ(run("Install-Kext.sh", kextArguments()).status, 0);
    auto first = tree();
    writeFile(root_ / "usr/local/sbin/tarn_ntfs_fix", "changed", 0700);
    fs::remove_all(root_ / "usr/local/lib/tarn_ntfs/tarn_ntfs.fs/Contents");
    writeFile(root_ / "usr/local/lib/tarn_ntfs/tarn_ntfs.kext/stray", "left over");

    auto again = run("Install-Kext.sh", kextArguments());
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_EQ(tree(), first);
}

TEST_F(DriverScripts, UninstallRemovesTheDriverAndTheHelperAndNothingElse)
{
    ASSERT_EQ(run("Install-Kext.sh", kextArguments()).status, 0);
    // What the bless step leaves: the helper at its program path and the registration files
    // generated from the helper's own launchd job.
    writeFile(root_ / "Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool", "helper", 0755);
    ASSERT_FALSE(fs::is_empty(registrationRoot));
    fs::copy(registrationRoot, root_.path(), fs::copy_options::recursive);
    const std::vector<std::string> others{
        "etc/systemd/system/other.service",
        "lib/modules/" + kernelRelease() + "/extra/other.ko",
        "usr/local/lib/other/libother.so",
        "usr/local/sbin/other-tool",
        "usr/share/dbus-1/system.d/other.conf",
    };
    for (const auto& other : others)
        writeFile(root_ / other, "not ours");

    auto result = run("Uninstall.sh", {});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(tree().nonFolders(), others) << result.output;
    EXPECT_FALSE(fs::exists(root_ / "Library"));
    EXPECT_FALSE(fs::exists(root_ / "usr/local/lib/tarn_ntfs"));

    auto before = tree();
    auto again = run("Uninstall.sh", {});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.output.find("nothing to remove"), std::string::npos) << again.output;
    EXPECT_EQ(tree(), before);
}

TEST_F(DriverScripts, WrongArgumentCountsAndRelativeRootsAreUsageErrors)
{
    auto args = kextArguments();
    struct Case {
        const char* script;
        std::size_t count;
        const char* root;
    };
    const std::vector<Case> cases{
        {"Install-Kext.sh", 0, nullptr}, {"Install-Kext.sh", 3, nullptr}, {"Install-Kext.sh", 4, nullptr},
        {"Install-Executables.sh", 0, nullptr}, {"Install-Executables.sh", 2, nullptr},
        {"Install-Executables.sh", 5, nullptr}, {"Uninstall.sh", 1, nullptr}, {"Reload.sh", 1, nullptr},
        {"Install-Kext.sh", 5, "relative/root"}, {"Install-Executables.sh", 3, "relative/root"},
        {"Uninstall.sh", 0, "relative/root"}, {"Reload.sh", 0, "relative/root"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.script) + " with " + std::to_string(c.count) + " arguments");
        std::vector<std::string> given(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(c.count));
        std::vector<std::string> environment;
        if (c.root)
            environment.push_back(std::string("NTFS_INSTALL_ROOT=") + c.root);
        auto result = run(c.script, given, environment);
        EXPECT_EQ(result.status, 64) << result.output;
        EXPECT_TRUE(rootIsEmpty());
    }
}

TEST_F(DriverScripts, AMissingInputChangesNothing)
{
    fs::create_directories(work_ / "empty.kext");
    fs::create_directories(work_ / "empty.fs");
    const std::string absent = (work_ / "absent").string();
    std::vector<std::vector<std::string>> cases;
    for (std::size_t i = 0; i < 5; ++i) {
        auto args = kextArguments();
        args[i] = absent;
        cases.push_back(args);
    }
    auto noModule = kextArguments();
    noModule[3] = (work_ / "empty.kext").string();
    auto noMountHelper = kextArguments();
    noMountHelper[4] = (work_ / "empty.fs").string();
    auto folderForFile = kextArguments();
    folderForFile[1] = resource("tarn_ntfs.kext");
    cases.insert(cases.end(), {noModule, noMountHelper, folderForFile});

    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        auto result = run("Install-Kext.sh", cases[i]);
        EXPECT_EQ(result.status, 66) << result.output;
        EXPECT_TRUE(rootIsEmpty());
    }
    auto executables = run("Install-Executables.sh", {resource("libintl.8.dylib"), absent, resource("tarn_ntfs-formatter")});
    EXPECT_EQ(executables.status, 66) << executables.output;
    EXPECT_TRUE(rootIsEmpty());
}

TEST_F(DriverScripts, WithoutNtfs3gNothingIsInstalled)
{
    // Everything on PATH but ntfs-3g's programs.
    fs::create_directories(work_ / "bin");
    for (const auto& entry : fs::directory_iterator("/usr/bin")) {
        auto name = entry.path().filename().string();
        if (!name.starts_with("ntfs") && !name.starts_with("mkntfs"))
            fs::create_symlink(entry.path(), work_ / "bin" / name);
    }
    auto result = run("Install-Kext.sh", kextArguments(), {"PATH=" + (work_ / "bin").string()});
    EXPECT_EQ(result.status, 69) << result.output;
    EXPECT_NE(result.output.find("install ntfs-3g"), std::string::npos) << result.output;
    EXPECT_TRUE(rootIsEmpty());
}

TEST_F(DriverScripts, ARootThatCannotHoldFilesFailsWithCannotCreate)
{
    writeFile(work_ / "plain-file", "not a folder");
    auto result = run("Install-Kext.sh", kextArguments(), {"NTFS_INSTALL_ROOT=" + (work_ / "plain-file").string()});
    EXPECT_EQ(result.status, 73) << result.output;
}

// Reload with fake module tools that log their calls and answer as each case says.
class ReloadScript : public DriverScripts {
protected:
    void SetUp() override
    {
        writeFile(work_ / "bin/lsmod",
                  "#!/bin/sh\necho 'Module Size Used by'\necho 'ext4 1000 1'\n"
                  "[ \"${FAKE_LOADED:-0}\" = 1 ] && echo 'ntfs3 16384 0'\nexit 0\n", 0755);
        writeFile(work_ / "bin/modprobe",
                  "#!/bin/sh\necho \"modprobe $*\" >>\"$FAKE_LOG\"\n"
                  "[ \"$1\" = -r ] && exit \"${FAKE_UNLOAD_STATUS:-0}\"\nexit \"${FAKE_LOAD_STATUS:-0}\"\n", 0755);
    }
};

TEST_F(ReloadScript, ReloadsTheModuleThatTheAliasNamesWithClearExitCodes)
{
    struct Case {
        const char* name;
        bool loaded;
        int unloadStatus;
        int loadStatus;
        bool aliasInstalled;
        bool modprobePresent;  // lsmod is in /usr/bin; modprobe, like the real one, only in sbin
        int expectedStatus;
        std::string expectedCalls;
    };
    const std::vector<Case> cases{
        {"not loaded", false, 0, 0, true, true, 0, "modprobe ntfs3\n"},
        {"loaded", true, 0, 0, true, true, 0, "modprobe -r ntfs3\nmodprobe ntfs3\n"},
        {"in use", true, 1, 0, true, true, 75, "modprobe -r ntfs3\n"},
        {"kernel without it", false, 0, 1, true, true, 71, "modprobe ntfs3\n"},
        {"not installed", false, 0, 0, false, true, 66, ""},
        {"no modprobe", false, 0, 0, true, false, 69, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root_ / "etc");
        if (c.aliasInstalled) {
            fs::create_directories(root_ / "etc/modprobe.d");
            fs::copy_file(resources / "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf", root_ / alias_);
        }
        if (!c.modprobePresent)
            fs::rename(work_ / "bin/modprobe", work_ / "modprobe.away");
        writeFile(work_ / "calls", "");
        auto result = run("Reload.sh", {},
                          {"PATH=" + (work_ / "bin").string() + ":/usr/bin:/bin",
                           "FAKE_LOG=" + (work_ / "calls").string(), std::string("FAKE_LOADED=") + (c.loaded ? "1" : "0"),
                           "FAKE_UNLOAD_STATUS=" + std::to_string(c.unloadStatus),
                           "FAKE_LOAD_STATUS=" + std::to_string(c.loadStatus)});
        if (!c.modprobePresent)
            fs::rename(work_ / "modprobe.away", work_ / "bin/modprobe");
        EXPECT_EQ(result.status, c.expectedStatus) << result.output;
        EXPECT_EQ(readFile(work_ / "calls"), c.expectedCalls);
    }
}

}  // namespace
