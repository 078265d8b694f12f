// The driver scripts of the app folder, run through /bin/sh as the app runs them, into a temporary
// NTFS_INSTALL_ROOT with the driver stand-ins; module tools are fakes on PATH.
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sys/utsname.h>
#include <tuple>

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

class DriverScripts : public ::testing::Test {
protected:
    TempDir root_;
    TempDir work_;
    const std::string alias_ = "etc/modprobe.d/tarn_ntfs.conf";

    // The install scripts run in their own folder, the others where the process stands.
    std::pair<int, std::string> run(const std::string& script, const std::vector<std::string>& args, std::vector<std::string> environment = {})
    {
        if (std::none_of(environment.begin(), environment.end(), [](auto& e) { return e.starts_with("NTFS_INSTALL_ROOT="); }))
            environment.push_back("NTFS_INSTALL_ROOT=" + root_.path().string());
        fs::path cwd = script.starts_with("Install") ? resources : work_.path();
        std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$1\" && shift && exec /bin/sh \"$@\"", "sh",
                                      cwd.string(), (resources / script).string()};
        argv.insert(argv.end(), args.begin(), args.end());
        ntfs::test::ChildOptions options;
        options.environment = std::move(environment);
        return ChildProcess::run(argv, options);
    }

    static std::vector<std::string> kextArguments()
    {
        return {resource("libintl.8.dylib"), resource("tarn_ntfs_fix"), resource("tarn_ntfs-formatter"),
                resource("tarn_ntfs.kext"), resource("tarn_ntfs.fs")};
    }

    // Every file and link below the root, relative to it: "<mode> <content>" or "-> <target>".
    std::map<std::string, std::string> tree() const
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(root_.path())) {
            auto path = fs::relative(entry.path(), root_.path()).string();
            if (entry.is_symlink())
                files[path] = "-> " + fs::read_symlink(entry.path()).string();
            else if (entry.is_regular_file())
                files[path] = std::to_string(int(entry.status().permissions() & fs::perms::all)) + " " + readFile(entry.path());
        }
        return files;
    }
    std::vector<std::string> paths() const
    {
        std::vector<std::string> result;
        for (const auto& [path, content] : tree())
            result.push_back(path);
        return result;
    }
};

// A second install gives the same tree (modes included), repairing changed files and dropping strays.
TEST_F(DriverScripts, InstallPutsTheDriverInPlaceAndReinstallGivesTheSameTree)
{
    ASSERT_EQ(run("Install-Executables.sh", {"libintl.8.dylib", "tarn_ntfs_fix", "tarn_ntfs-formatter"}).first, 0);
    const std::string lib = "usr/local/lib/tarn_ntfs/", sbin = "usr/local/sbin/", mount = "tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs";
    std::vector<std::string> tools{lib + "libintl.so.8", lib + "tarn_ntfs-probe", sbin + "tarn_ntfs-diskutil",
                                   sbin + "tarn_ntfs-formatter", sbin + "tarn_ntfs_fix"};
    EXPECT_EQ(paths(), tools);
    auto result = run("Install-Kext.sh", kextArguments());
    ASSERT_EQ(result.first, 0) << result.second;
    const std::string kext = lib + "tarn_ntfs.kext/", units = "etc/systemd/system/";
    tools.insert(tools.end(), {alias_, "sbin/mount.tarn_ntfs", lib + "tarn_ntfs.fs/README", lib + mount, kext + "README",
                               kext + "Contents/Linux/tarn_ntfs.conf", kext + "Contents/Linux/tarn_ntfs-kctl.socket",
                               kext + "Contents/Linux/tarn_ntfs-kctl@.service", kext + "Contents/Linux/tarn_ntfs.tmpfiles",
                               lib + "tarn_ntfs-kctl", units + "tarn_ntfs-kctl.socket", units + "tarn_ntfs-kctl@.service",
                               units + "sockets.target.wants/tarn_ntfs-kctl.socket", "etc/tmpfiles.d/tarn_ntfs.conf"});
    std::sort(tools.begin(), tools.end());
    EXPECT_EQ(paths(), tools);
    EXPECT_EQ(tree()["sbin/mount.tarn_ntfs"], "-> /" + lib + mount);
    EXPECT_EQ(tree()[alias_], "420 " + readFile(resources / "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf"));
    EXPECT_EQ(tree()[units + "sockets.target.wants/tarn_ntfs-kctl.socket"], "-> /" + units + "tarn_ntfs-kctl.socket");
    auto first = tree();
    writeFile(root_ / "usr/local/sbin/tarn_ntfs_fix", "changed", fs::perms(0700));
    fs::remove_all(root_ / "usr/local/lib/tarn_ntfs/tarn_ntfs.fs/Contents");
    writeFile(root_ / "usr/local/lib/tarn_ntfs/tarn_ntfs.kext/stray", "left over");
    ASSERT_EQ(run("Install-Kext.sh", kextArguments()).first, 0);
    EXPECT_EQ(tree(), first);
}

// What the bless step leaves (the helper and its registration files) goes too; a second run is a no-op.
TEST_F(DriverScripts, UninstallRemovesTheDriverAndTheHelperAndNothingElse)
{
    ASSERT_EQ(run("Install-Kext.sh", kextArguments()).first, 0);
    writeFile(root_ / "Library/PrivilegedHelperTools/com.zel.ntfs.HelperTool", "helper");
    ASSERT_FALSE(fs::is_empty(NTFS_REGISTRATION_ROOT));
    fs::copy(NTFS_REGISTRATION_ROOT, root_.path(), fs::copy_options::recursive);
    utsname name{};
    uname(&name);
    const std::vector<std::string> others{"etc/systemd/system/other.service", "lib/modules/" + std::string(name.release) + "/extra/other.ko",
                                          "usr/local/lib/other/libother.so", "usr/local/sbin/other-tool",
                                          "usr/share/dbus-1/system.d/other.conf"};
    for (const auto& other : others)
        writeFile(root_ / other, "not ours");
    writeFile(root_ / "run/tarn_ntfs/mount-log", "the driver's store");
    writeFile(root_ / "run/kernel-control/com.tarn.ntfs-support.kext/0", "its channel's socket");
    for (int pass = 0; pass < 2; ++pass) {
        auto result = run("Uninstall.sh", {});
        ASSERT_EQ(result.first, 0) << result.second;
        EXPECT_EQ(paths(), others) << result.second;
    }
}

// Each failure leaves the root untouched, with the status that names it.
TEST_F(DriverScripts, FailuresChangeNothingAndSayWhy)
{
    for (const char* folder : {"empty.kext", "empty.fs", "bin"})  // bin: everything on PATH but ntfs-3g's programs
        fs::create_directories(work_ / folder);
    for (const auto& entry : fs::directory_iterator("/usr/bin"))
        if (!entry.path().filename().string().starts_with("ntfs") && !entry.path().filename().string().starts_with("mkntfs"))
            fs::create_symlink(entry.path(), work_ / "bin" / entry.path().filename());
    writeFile(work_ / "plain-file", "not a folder");
    auto kext = [](std::size_t at, const std::string& replacement) { auto args = kextArguments(); args[at] = replacement; return args; };
    auto first = [](std::size_t count) { auto args = kextArguments(); args.resize(count); return args; };
    const std::string absent = (work_ / "absent").string(), relativeRoot = "NTFS_INSTALL_ROOT=relative/root", K = "Install-Kext.sh",
                      E = "Install-Executables.sh";
    const std::vector<std::tuple<std::string, std::vector<std::string>, std::vector<std::string>, int>> cases{
        {K, first(0), {}, 64}, {K, first(4), {}, 64}, {E, first(2), {}, 64}, {E, first(5), {}, 64},
        {"Uninstall.sh", first(1), {}, 64}, {"Reload.sh", first(1), {}, 64}, {K, first(5), {relativeRoot}, 64},
        {"Uninstall.sh", {}, {relativeRoot}, 64}, {"Reload.sh", {}, {relativeRoot}, 64},
        {K, kext(0, absent), {}, 66}, {K, kext(2, absent), {}, 66}, {K, kext(3, absent), {}, 66}, {K, kext(4, absent), {}, 66},
        {K, kext(3, (work_ / "empty.kext").string()), {}, 66}, {K, kext(4, (work_ / "empty.fs").string()), {}, 66},
        {K, kext(1, resource("tarn_ntfs.kext")), {}, 66}, {E, {resource("libintl.8.dylib"), absent, resource("tarn_ntfs-formatter")}, {}, 66},
        {K, kextArguments(), {"PATH=" + (work_ / "bin").string()}, 69},
        {K, kextArguments(), {"NTFS_INSTALL_ROOT=" + (work_ / "plain-file").string()}, 73},
    };
    for (const auto& [script, args, environment, status] : cases) {
        auto result = run(script, args, environment);
        EXPECT_EQ(result.first, status) << script << " " << args.size() << " " << result.second;
        EXPECT_TRUE(fs::is_empty(root_.path()));
    }
}

// Reload with fake module tools that log their calls and answer as each case says; modprobe, like
// the real one, only in sbin, so removing it from the fake folder leaves none on PATH.
TEST_F(DriverScripts, ReloadsTheModuleThatTheAliasNamesWithClearExitCodes)
{
    writeFile(work_ / "bin/lsmod", "#!/bin/sh\necho 'Module Size Used by'\necho 'ext4 1000 1'\n"
                                   "[ \"${FAKE_LOADED:-0}\" = 1 ] && echo 'ntfs3 16384 0'\nexit 0\n", fs::perms(0755));
    writeFile(work_ / "bin/modprobe", "#!/bin/sh\necho \"modprobe $*\" >>\"$FAKE_LOG\"\n"
                                      "[ \"$1\" = -r ] && exit \"${FAKE_UNLOAD_STATUS:-0}\"\nexit \"${FAKE_LOAD_STATUS:-0}\"\n", fs::perms(0755));
    // loaded, unload status, load status, alias installed, modprobe present, status, calls
    const std::vector<std::tuple<bool, int, int, bool, bool, int, std::string>> cases{
        {false, 0, 0, true, true, 0, "modprobe ntfs3\n"},        {true, 0, 0, true, true, 0, "modprobe -r ntfs3\nmodprobe ntfs3\n"},
        {true, 1, 0, true, true, 75, "modprobe -r ntfs3\n"},     {false, 0, 1, true, true, 71, "modprobe ntfs3\n"},
        {false, 0, 0, false, true, 66, ""},                      {false, 0, 0, true, false, 69, ""},
    };
    for (const auto& [loaded, unloadStatus, loadStatus, aliasInstalled, modprobePresent, status, calls] : cases) {
        SCOPED_TRACE(status);
        fs::remove_all(root_ / "etc");
        if (aliasInstalled)
            writeFile(root_ / alias_, readFile(resources / "tarn_ntfs.kext/Contents/Linux/tarn_ntfs.conf"));
        if (!modprobePresent)
            fs::rename(work_ / "bin/modprobe", work_ / "modprobe.away");
        writeFile(work_ / "calls", "");
        auto result = run("Reload.sh", {}, {"PATH=" + (work_ / "bin").string() + ":/usr/bin:/bin", "FAKE_LOG=" + (work_ / "calls").string(),
                                           std::string("FAKE_LOADED=") + (loaded ? "1" : "0"), "FAKE_UNLOAD_STATUS=" + std::to_string(unloadStatus),
                                           "FAKE_LOAD_STATUS=" + std::to_string(loadStatus)});
        if (!modprobePresent)
            fs::rename(work_ / "modprobe.away", work_ / "bin/modprobe");
        EXPECT_EQ(result.first, status) << result.second;
        EXPECT_EQ(readFile(work_ / "calls"), calls);
    }
}

}  // namespace
