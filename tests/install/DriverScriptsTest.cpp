// The driver scripts of the app folder, run through /bin/sh as the app runs them, into a temporary
// NTFS_INSTALL_ROOT with the driver stand-ins; module tools are fakes on PATH.
#include "ChildProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sys/utsname.h>

namespace {

namespace fs = std::filesystem;
using ntfs::test::ChildProcess;
using ntfs::test::TempDir;

const fs::path resources = fs::path(NTFS_APP_DIR) / "Resources";

std::string resource(const char* name) { return (resources / name).string(); }

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& content, fs::perms mode = fs::perms(0644))
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
    fs::permissions(path, mode);
}

// Every file and link below a folder, relative to it: "<mode> <content>" or "-> <target>".
std::map<std::string, std::string> filesBelow(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        auto path = fs::relative(entry.path(), root).string();
        if (entry.is_symlink())
            files[path] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            files[path] = std::to_string(int(entry.status().permissions() & fs::perms::all)) + " " + readFile(entry.path());
    }
    return files;
}

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
    ScriptRun run(const std::string& script, const std::vector<std::string>& args, std::vector<std::string> environment = {})
    {
        if (std::none_of(environment.begin(), environment.end(), [](auto& e) { return e.starts_with("NTFS_INSTALL_ROOT="); }))
            environment.push_back("NTFS_INSTALL_ROOT=" + root_.path().string());
        fs::path cwd = script.starts_with("Install") ? resources : work_.path();
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

    std::map<std::string, std::string> tree() const { return filesBelow(root_.path()); }
    static std::vector<std::string> paths(const std::map<std::string, std::string>& files)
    {
        std::vector<std::string> result;
        for (const auto& [path, content] : files)
            result.push_back(path);
        return result;
    }
};

// Nothing else beside them: no half-written copies.
TEST_F(DriverScripts, InstallKextPutsTheDriverInItsPlaces)
{
    auto result = run("Install-Kext.sh", kextArguments());
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string lib = "usr/local/lib/tarn_ntfs/", sbin = "usr/local/sbin/", conf = "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf",
                      mount = "tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs";
    auto file = [](const std::string& source, int mode) { return std::to_string(mode) + " " + readFile(resources / source); };
    EXPECT_EQ(tree(), (std::map<std::string, std::string>{
                          {lib + "libintl.so.8", file("libintl.8.dylib", 0644)}, {sbin + "tarn_ntfs_fix", file("tarn_ntfs_fix", 0755)},
                          {sbin + "tarn_ntfs-formatter", file("tarn_ntfs-formatter", 0755)},
                          {sbin + "tarn_ntfs-diskutil", file("tarn_ntfs-diskutil", 0755)},
                          {lib + "tarn_ntfs-probe", file("tarn_ntfs-probe", 0755)}, {alias_, file(conf, 0644)},
                          {lib + conf, file(conf, 0644)}, {lib + "tarn_ntfs.kext/README", file("tarn_ntfs.kext/README", 0644)},
                          {lib + mount, file(mount, 0755)}, {lib + "tarn_ntfs.fs/README", file("tarn_ntfs.fs/README", 0644)},
                          {"sbin/mount.tarn_ntfs", "-> /" + lib + mount}}));
    for (const char* line : {"installed ", "linked "})
        EXPECT_NE(result.output.find(line), std::string::npos) << line;
}

TEST_F(DriverScripts, InstallExecutablesPutsOnlyTheLibraryAndTheTools)
{
    // Named relative to the script's folder, where the app starts it.
    auto result = run("Install-Executables.sh", {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter"});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(paths(tree()), (std::vector<std::string>{"usr/local/lib/tarn_ntfs/libintl.so.8",
                                                             "usr/local/lib/tarn_ntfs/tarn_ntfs-probe",
                                                             "usr/local/sbin/tarn_ntfs-diskutil",
                                                             "usr/local/sbin/tarn_ntfs-formatter",
                                                             "usr/local/sbin/tarn_ntfs_fix"}));
}

TEST_F(DriverScripts, InstallingAgainGivesTheSameTreeAndRepairsChangedFiles)
{
    ASSERT_EQ(run("Install-Kext.sh", kextArguments()).status, 0);
    auto first = tree();
    writeFile(root_ / "usr/local/sbin/tarn_ntfs_fix", "changed", fs::perms(0700));
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
    writeFile(root_ / "Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool", "helper");
    ASSERT_FALSE(fs::is_empty(NTFS_REGISTRATION_ROOT));
    fs::copy(NTFS_REGISTRATION_ROOT, root_.path(), fs::copy_options::recursive);
    utsname name{};
    uname(&name);
    const std::vector<std::string> others{
        "etc/systemd/system/other.service",
        "lib/modules/" + std::string(name.release) + "/extra/other.ko",
        "usr/local/lib/other/libother.so",
        "usr/local/sbin/other-tool",
        "usr/share/dbus-1/system.d/other.conf",
    };
    for (const auto& other : others)
        writeFile(root_ / other, "not ours");

    auto result = run("Uninstall.sh", {});
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(paths(tree()), others) << result.output;
    EXPECT_FALSE(fs::exists(root_ / "Library"));
    EXPECT_FALSE(fs::exists(root_ / "usr/local/lib/tarn_ntfs"));

    auto before = tree();
    auto again = run("Uninstall.sh", {});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.output.find("nothing to remove"), std::string::npos) << again.output;
    EXPECT_EQ(tree(), before);
}

// Each failure leaves the root untouched, with the status that names it.
TEST_F(DriverScripts, FailuresChangeNothingAndSayWhy)
{
    fs::create_directories(work_ / "empty.kext");
    fs::create_directories(work_ / "empty.fs");
    fs::create_directories(work_ / "bin");  // everything on PATH but ntfs-3g's programs
    for (const auto& entry : fs::directory_iterator("/usr/bin"))
        if (!entry.path().filename().string().starts_with("ntfs") && !entry.path().filename().string().starts_with("mkntfs"))
            fs::create_symlink(entry.path(), work_ / "bin" / entry.path().filename());
    writeFile(work_ / "plain-file", "not a folder");
    auto kext = [](std::size_t at, const std::string& replacement) {
        auto args = kextArguments();
        args[at] = replacement;
        return args;
    };
    auto first = [](std::size_t count) { auto args = kextArguments(); args.resize(count); return args; };
    const std::string absent = (work_ / "absent").string(), relativeRoot = "NTFS_INSTALL_ROOT=relative/root";
    struct Case {
        const char* script;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        int status;
    };
    const std::vector<Case> cases{
        {"Install-Kext.sh", first(0), {}, 64}, {"Install-Kext.sh", first(4), {}, 64},
        {"Install-Executables.sh", first(2), {}, 64}, {"Install-Executables.sh", first(5), {}, 64},
        {"Uninstall.sh", first(1), {}, 64}, {"Reload.sh", first(1), {}, 64},
        {"Install-Kext.sh", first(5), {relativeRoot}, 64}, {"Uninstall.sh", {}, {relativeRoot}, 64},
        {"Reload.sh", {}, {relativeRoot}, 64},
        {"Install-Kext.sh", kext(0, absent), {}, 66}, {"Install-Kext.sh", kext(2, absent), {}, 66},
        {"Install-Kext.sh", kext(3, absent), {}, 66}, {"Install-Kext.sh", kext(4, absent), {}, 66},
        {"Install-Kext.sh", kext(3, (work_ / "empty.kext").string()), {}, 66},
        {"Install-Kext.sh", kext(4, (work_ / "empty.fs").string()), {}, 66},
        {"Install-Kext.sh", kext(1, resource("tarn_ntfs.kext")), {}, 66},
        {"Install-Executables.sh", {resource("libintl.8.dylib"), absent, resource("tarn_ntfs-formatter")}, {}, 66},
        {"Install-Kext.sh", kextArguments(), {"PATH=" + (work_ / "bin").string()}, 69},
        {"Install-Kext.sh", kextArguments(), {"NTFS_INSTALL_ROOT=" + (work_ / "plain-file").string()}, 73},
    };
    for (const auto& c : cases) {
        auto result = run(c.script, c.args, c.environment);
        EXPECT_EQ(result.status, c.status) << c.script << " " << c.args.size() << " " << result.output;
        EXPECT_TRUE(fs::is_empty(root_.path()));
        EXPECT_TRUE(c.status != 69 || result.output.find("install ntfs-3g") != std::string::npos) << result.output;
    }
}

// Reload with fake module tools that log their calls and answer as each case says.
class ReloadScript : public DriverScripts {
protected:
    void SetUp() override
    {
        writeFile(work_ / "bin/lsmod",
                  "#!/bin/sh\necho 'Module Size Used by'\necho 'ext4 1000 1'\n"
                  "[ \"${FAKE_LOADED:-0}\" = 1 ] && echo 'ntfs3 16384 0'\nexit 0\n", fs::perms(0755));
        writeFile(work_ / "bin/modprobe",
                  "#!/bin/sh\necho \"modprobe $*\" >>\"$FAKE_LOG\"\n"
                  "[ \"$1\" = -r ] && exit \"${FAKE_UNLOAD_STATUS:-0}\"\nexit \"${FAKE_LOAD_STATUS:-0}\"\n", fs::perms(0755));
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
