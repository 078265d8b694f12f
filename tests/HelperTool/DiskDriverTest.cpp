// The driver files on real block devices (loop devices over sparse images, FUSE), every step
// through the helper on a private bus, checked afterwards with ntfs-3g's and exfatprogs' own tools.
#include "Common/UniqueFd.h"
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace ntfs;
using namespace ntfs::test;
namespace fs = std::filesystem;

namespace {

const fs::path driver = NTFS_DRIVER_DIR;
const std::string fixTool = driver / "tarn_ntfs_fix";
const std::string formatter = driver / "tarn_ntfs-formatter";
const std::string diskutil = driver / "tarn_ntfs-diskutil";
const std::string mountHelper = driver / "tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs";

std::string sh(const std::string& script, const std::vector<std::string>& args = {})
{
    std::vector<std::string> argv{"/bin/sh", "-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProcess::run(argv).second;
}

// Every mount the driver makes is nosuid and nodev, whatever was asked.
bool readOnlyAt(const fs::path& at)
{
    const std::string options = "," + sh("findmnt -rn -o OPTIONS --mountpoint \"$1\" | tr -d '\\n'", {at}) + ",";
    EXPECT_NE(options.find(",nosuid,"), std::string::npos) << options;
    EXPECT_NE(options.find(",nodev,"), std::string::npos) << options;
    return options.find(",ro,") != std::string::npos;
}

class DiskDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& [missing, why] : std::initializer_list<std::pair<bool, const char*>>{
                 {!fs::exists(fixTool), "the driver files are laid out with the app (NTFS_WITH_APP=ON)"},
                 {geteuid() != 0, "needs root for loop devices and mounts"},
                 {!fs::exists("/dev/loop-control") || !fs::exists("/dev/fuse"), "needs loop devices and FUSE (/dev/fuse)"},
                 {sh("for t in ntfs-3g mkfs.exfat fsck.exfat sfdisk; do command -v $t >/dev/null || echo $t; done") != "",
                  "needs ntfs-3g, exfatprogs and sfdisk"}})
            if (missing)
                GTEST_SKIP() << why;
        // A loop device over a sparse image file, with partition scanning.
        dev_ = sh("truncate -s 64M \"$1\" && losetup -P -f --show \"$1\" | tr -d '\\n'", {dir_ / "disk.img"});
        if (dev_.empty())
            GTEST_SKIP() << "losetup found no free loop device";
    }
    void TearDown() override
    {
        if (!dev_.empty())
            sh("for d in \"$1\" \"$1\"p*; do while findmnt --source \"$d\" >/dev/null && umount \"$d\"; do :; done; done;"
               " losetup -d \"$1\"", {dev_});
    }

    // A volume in the given state, as Windows could leave it.
    void prepare(const std::string& state)
    {
        ASSERT_EQ(client_->formatNTFSDisk(formatter, dev_, "Win").status, 0);
        if (state == "dirty")
            sh("ntfsfix \"$1\" >/dev/null", {dev_});  // leaves the dirty flag set
        if (state == "hibernated")
            sh("mkdir -p \"$2\" && ntfs-3g \"$1\" \"$2\" && { printf hibr; head -c 8188 /dev/urandom; } >\"$2/hiberfil.sys\""
               " && umount \"$2\"", {dev_, dir_ / "raw"});
    }

    TempDir dir_;
    std::string dev_;
    HelperDaemon daemon_;
    std::unique_ptr<HelperToolClient> client_ = daemon_.client();
    const fs::path volumes_ = dir_ / "Volumes";
};

TEST_F(DiskDriver, NtfsRoundTripIsWhatNtfs3gsOwnToolsSee)
{
    ASSERT_EQ(client_->formatNTFSDisk(formatter, dev_, "Tëst Vol").status, 0);
    auto mountPoint = volumes_ / "Tëst Vol";
    auto mounted = client_->mountNTFSDisk(mountHelper, dev_, "", mountPoint);
    ASSERT_EQ(mounted.status, 0) << mounted.text.value_or("");

    const std::vector<std::string> files{"plain.bin", "with spaces .txt", "Grüße ñandú 日本.dat"};
    std::vector<std::string> sums;
    for (const auto& name : files)
        sums.push_back(sh("head -c 3000007 /dev/urandom | tee \"$1\" | sha256sum", {mountPoint / name}));
    ASSERT_EQ(client_->unmountDisk(diskutil, dev_).status, 0);
    EXPECT_EQ(client_->checkDisk(fixTool, dev_).status, 0);
    EXPECT_EQ(client_->renameUnmountedVolume(diskutil, dev_, "Nëw Näme").status, 0);

    EXPECT_EQ(sh("ntfslabel \"$1\"", {dev_}), "Nëw Näme\n");
    EXPECT_NE(sh("ntfsinfo -m \"$1\"", {dev_}).find("Volume Name: Nëw Näme\n"), std::string::npos);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(sh("ntfscat \"$1\" \"$2\" | sha256sum", {dev_, files[i]}), sums[i]) << files[i];
}

TEST_F(DiskDriver, NothingInUseIsErasedAndFailedMountsLeaveNoMountPoint)
{
    auto zeroed = client_->mountNTFSDisk(mountHelper, dev_, "", volumes_ / "Zeroed");
    EXPECT_EQ(zeroed.status, 32);
    EXPECT_NE(zeroed.text.value_or("").find("not an NTFS volume"), std::string::npos);
    EXPECT_FALSE(fs::exists(volumes_ / "Zeroed"));

    // A partitioned disk whose partition is mounted: neither may be erased.
    ASSERT_EQ(client_->formatDisk(diskutil, dev_, 0, "Whole", false).status, 0);
    const std::string part = dev_ + "p1";
    ASSERT_EQ(client_->formatNTFSDisk(formatter, part, "Data").status, 0);
    ASSERT_EQ(client_->mountNTFSDisk(mountHelper, part, "", volumes_ / "Data").status, 0);
    sh("head -c 2000000 /dev/urandom >\"$1/keep.bin\"", {volumes_ / "Data"});
    auto sum = [&] { return sh("sha256sum \"$1/keep.bin\"", {volumes_ / "Data"}); };
    const auto before = sum();

    const std::vector<std::tuple<const char*, std::function<CommandResult()>, std::int32_t>> refusals{
        {"format mounted", [&] { return client_->formatNTFSDisk(formatter, part, "X"); }, 75},
        {"eraseVolume mounted", [&] { return client_->formatDisk(diskutil, part, 0, "X", true); }, 75},
        {"eraseDisk holding it", [&] { return client_->formatDisk(diskutil, dev_, 0, "X", false); }, 76},
        {"format its disk", [&] { return client_->formatNTFSDisk(formatter, dev_, "X"); }, 76},
    };
    for (const auto& [what, call, status] : refusals)
        EXPECT_EQ(call().status, status) << what;
    EXPECT_EQ(sum(), before);
    EXPECT_EQ(client_->unmountDisk(diskutil, volumes_ / "Data").status, 0);
}

TEST_F(DiskDriver, ExfatErasesGiveVolumesThatExfatprogsAccept)
{
    for (bool hasLeaf : {true, false}) {
        ASSERT_EQ(client_->formatDisk(diskutil, dev_, 0, "Stick", hasLeaf).status, 0);
        std::string volume = hasLeaf ? dev_ : dev_ + "p1";
        EXPECT_EQ(sh("blkid -p -o value -s TYPE \"$1\"; blkid -p -o value -s LABEL \"$1\"", {volume}), "exfat\nStick\n");
        EXPECT_EQ(sh("fsck.exfat -n \"$1\" >/dev/null; echo $?", {volume}), "0\n") << volume;
        sh("wipefs -q -a \"$1\"", {dev_});
    }
}

std::string firstLine(const CommandResult& result) { auto text = result.text.value_or(""); return text.substr(0, text.find('\n')); }

TEST_F(DiskDriver, VolumesThatWindowsLeftBehindMountReadOnlySayingWhy)
{
    struct WindowsState { const char* state; bool readOnly; const char* reason; std::int32_t checkStatus; };
    for (const auto& c : {WindowsState{"clean", false, "read-write", 0},
                          WindowsState{"dirty", true, "read-only: Windows did not unmount this volume cleanly", 0},
                          WindowsState{"hibernated", true, "read-only: Windows is hibernated on this volume", 78}}) {
        SCOPED_TRACE(c.state);
        prepare(c.state);
        auto hiberfil = [&] { return sh("ntfscat -f \"$1\" hiberfil.sys 2>/dev/null | sha256sum", {dev_}); };
        const auto hiberfilBefore = hiberfil();
        // The disk utility's mount decides the same way as the mount helper.
        auto mountPoint = c.readOnly ? volumes_ / c.state : fs::path("/media") / fs::path(dev_).filename();
        auto mounted = c.readOnly ? client_->mountNTFSDisk(mountHelper, dev_, "rw,remove_hiberfile", mountPoint)
                                  : client_->mountDisk(diskutil, dev_);
        ASSERT_EQ(mounted.status, 0) << mounted.text.value_or("");
        EXPECT_EQ(readOnlyAt(mountPoint), c.readOnly);
        EXPECT_NE(firstLine(mounted).find(c.reason), std::string::npos) << *mounted.text;
        EXPECT_NE(mounted.text->find(std::string("tarn_ntfs-mount: access=") + (c.readOnly ? "ro" : "rw") + " state=" + c.state),
                  std::string::npos) << *mounted.text;
        ASSERT_EQ(client_->unmountDisk(diskutil, dev_).status, 0);

        auto checked = client_->checkDisk(fixTool, dev_);
        EXPECT_EQ(checked.status, c.checkStatus) << checked.text.value_or("");
        EXPECT_EQ(hiberfil(), hiberfilBefore);
        auto again = client_->mountNTFSDisk(mountHelper, dev_, "", volumes_ / "again");
        EXPECT_EQ(readOnlyAt(volumes_ / "again"), c.checkStatus != 0) << again.text.value_or("");
        ASSERT_EQ(client_->unmountDisk(diskutil, volumes_ / "again").status, 0);
    }
}

TEST_F(DiskDriver, Ntfs3MountsWhereTheKernelHasIt)
{
    if (sh("grep -qw ntfs3 /proc/filesystems || echo no") != "")
        GTEST_SKIP() << "the kernel has no ntfs3 (and modules cannot be loaded here)";
    prepare("clean");
    auto clean = client_->mountNTFSDisk(mountHelper, dev_, "", volumes_ / "clean");
    EXPECT_NE(firstLine(clean).find("read-write (ntfs3)"), std::string::npos) << clean.text.value_or("");
    ASSERT_EQ(client_->unmountDisk(diskutil, dev_).status, 0);
}

// The whole disk's lock as other programs see it: its holder makes a format wait, and no FUSE
// daemon of a mount keeps it.
TEST_F(DiskDriver, DiskJobsHoldTheDiskLockAndNoDaemonKeepsIt)
{
    sh("mkfs.ext4 -q -F \"$1\"", {dev_});
    auto type = [&] { return sh("blkid -p -o value -s TYPE \"$1\"", {dev_}); };
    UniqueFd held(open(dev_.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_EQ(flock(held.get(), LOCK_EX), 0);
    auto waiting = daemon_.client();
    CommandResult formatted;
    std::thread format([&] { formatted = waiting->formatNTFSDisk(formatter, dev_, "Waited"); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(type(), "ext4\n");
    held.reset();
    format.join();
    EXPECT_EQ(formatted.status, 0);
    EXPECT_EQ(type(), "ntfs\n");

    ASSERT_EQ(client_->mountNTFSDisk(mountHelper, dev_, "", volumes_ / "Locked").status, 0);
    UniqueFd free(open(dev_.c_str(), O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(flock(free.get(), LOCK_EX | LOCK_NB), 0);
    free.reset();
    EXPECT_EQ(client_->unmountDisk(diskutil, dev_).status, 0);
}

// Two callers on one device, each starting 0-40 ms late, on a kernel mount (ext4) and on ntfs-3g.
TEST_F(DiskDriver, RacingCallersNeverReformatAMountedVolume)
{
    constexpr int rounds = 50;
    auto second = daemon_.client();
    const auto journalLost = [] { return sh("dmesg | grep -c 'Journal got removed'"); };
    const auto lostBefore = journalLost();
    using Call = std::function<CommandResult(HelperToolClient&)>;
    auto mountOf = [&](bool ntfs) -> Call {
        if (ntfs)
            return [&](HelperToolClient& c) { return c.mountNTFSDisk(mountHelper, dev_, "", volumes_ / "race"); };
        return [&](HelperToolClient& c) { return c.mountDisk(diskutil, dev_); };
    };
    const Call format = [&](HelperToolClient& c) { return c.formatNTFSDisk(formatter, dev_, "Race"); };
    const Call check = [&](HelperToolClient& c) { return c.checkDisk(fixTool, dev_); };
    std::mt19937 random(18);
    for (bool ntfs : {false, true}) {
        for (const auto& [name, first, then] : {std::tuple{"mount||format", mountOf(ntfs), format},
                                                std::tuple{"check||mount", check, mountOf(ntfs)},
                                                std::tuple{"format||format", format, format}}) {
            for (int round = 0; round < rounds; ++round) {
                SCOPED_TRACE(std::string(ntfs ? "ntfs " : "ext4 ") + name + " round " + std::to_string(round));
                sh(ntfs ? "mkntfs -Q -q -F \"$1\"" : "mkfs.ext4 -q -F \"$1\"", {dev_});
                std::uniform_int_distribution<int> delay(0, 40);
                auto late = [](int ms, const Call& call, HelperToolClient& client) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                    call(client);
                };
                std::thread a(late, delay(random), first, std::ref(*client_)), b(late, delay(random), then, std::ref(*second));
                a.join();
                b.join();
                // Mounted means mounted as what the device now holds.
                std::string mounted = sh("findmnt -rn -o FSTYPE --source \"$1\" | head -n 1", {dev_});
                if (!mounted.empty()) {
                    EXPECT_EQ(mounted == "fuseblk\n" ? "ntfs\n" : mounted, sh("blkid -p -o value -s TYPE \"$1\"", {dev_}));
                }
                sh("umount \"$1\" 2>/dev/null; rmdir /media/\"$(basename \"$1\")\" 2>/dev/null; true", {dev_});
            }
        }
    }
    EXPECT_EQ(journalLost(), lostBefore);
}

// Byte flips where a damaged volume hurts most, on a hibernated volume: nothing may call it clean
// or dirty, mount it writable, or run the repair on it, and every run ends.
TEST_F(DiskDriver, DamagedHibernatedVolumesAreNeverCleanNorRepaired)
{
    sh("truncate -s 10M \"$1\" && losetup -c \"$2\"", {dir_ / "disk.img", dev_});
    prepare("hibernated");
    const std::string probe = driver / "tarn_ntfs-probe";
    std::fstream device(dev_, std::ios::in | std::ios::out | std::ios::binary);
    auto readAt = [&](std::streamoff at, int bytes) {
        std::uint64_t value = 0;
        device.seekg(at).read(reinterpret_cast<char*>(&value), bytes);
        return value;
    };
    const auto cluster = readAt(0x0B, 2) * readAt(0x0D, 1);
    const auto mft = readAt(0x30, 8) * cluster, mirror = readAt(0x38, 8) * cluster;
    const auto logFile = std::stoull(sh("ntfsinfo -i 2 -v \"$1\" | awk '/Runlist:/{getline; print $2}'", {dev_}), nullptr, 16) * cluster;
    const auto hiberfil = std::stoull(sh("ntfsinfo -F hiberfil.sys \"$1\" | awk '/Dumping Inode/{print $3}'", {dev_}));
    const std::vector<std::pair<const char*, std::pair<std::uint64_t, std::uint64_t>>> regions{
        {"boot sector", {0, 512}}, {"$MFT", {mft, 16 * 1024}}, {"$MFTMirr", {mirror, 4096}},
        {"$LogFile", {logFile, 64 * 1024}}, {"hiberfil.sys record", {mft + hiberfil * 1024, 1024}}};
    auto run = [](std::vector<std::string> argv) {
        argv.insert(argv.begin(), {"/usr/bin/timeout", "-s", "KILL", "100"});
        return ChildProcess::run(argv);
    };
    // The tools write through the device's page cache, so a fresh read sees every change.
    auto hash = [&] { return std::hash<std::string>()((std::stringstream() << std::ifstream(dev_).rdbuf()).str()); };
    std::mt19937_64 random(240);
    for (int image = 0; image < 200; ++image) {
        const auto& [region, span] = regions[image % regions.size()];
        const auto at = static_cast<std::streamoff>(span.first + random() % span.second);
        const char original = static_cast<char>(readAt(at, 1));
        device.seekp(at).put(static_cast<char>(original ^ static_cast<char>(1 + random() % 255))).flush();
        const auto before = hash();
        SCOPED_TRACE(std::string(region) + " at " + std::to_string(at));

        auto [stateStatus, state] = run({probe, "state", dev_});
        EXPECT_TRUE(stateStatus == 65 || state == "hibernated\n") << state;
        auto [mountStatus, mounted] = run({mountHelper, "-o", "", dev_, volumes_ / "damaged"});
        EXPECT_NE(mountStatus, 137);
        if (mountStatus == 0) {
            EXPECT_NE(mounted.find("access=ro state=hibernated"), std::string::npos) << mounted;
            EXPECT_EQ(run({diskutil, "unmount", dev_}).first, 0);
        }
        auto [checkStatus, checked] = run({fixTool, dev_});
        EXPECT_TRUE(checkStatus == 65 || checkStatus == 78) << checked;
        EXPECT_EQ(hash(), before);
        device.seekp(at).put(original).flush();
    }
}

// A FUSE daemon elsewhere that is stopped with a file open, and another reader of the device,
// neither stall nor fail an unmount.
TEST_F(DiskDriver, UnmountWaitsForItsOwnDaemonAlone)
{
    const auto other = dir_ / "other";
    std::string otherDev = sh("truncate -s 16M \"$1.img\" && losetup -f --show \"$1.img\" | tr -d '\\n'", {other});
    ASSERT_FALSE(otherDev.empty());
    sh("mkntfs -Q -q -F \"$1\" && mkdir -p \"$2\" && ntfs-3g \"$1\" \"$2\" && echo open >\"$2/open.txt\"", {otherDev, other});
    ChildProcess holdsFile({"/bin/sh", "-c", "exec sleep 600 <\"$0\"", other / "open.txt"});
    const std::string daemon = sh("pgrep -xf \"ntfs-3g $1 $2\" | tr -d '\\n'", {otherDev, other});
    ASSERT_FALSE(daemon.empty());
    struct Resume {
        std::string daemon, dev, at;
        ~Resume() { sh("kill -CONT \"$1\"; umount -l \"$3\"; losetup -d \"$2\"", {daemon, dev, at}); }
    } resume{daemon, otherDev, other};
    sh("kill -STOP \"$1\"", {daemon});

    prepare("clean");
    ASSERT_EQ(client_->mountNTFSDisk(mountHelper, dev_, "", volumes_ / "Healthy volume").status, 0);
    ChildProcess reader({"/bin/sh", "-c", "exec sleep 600 <\"$0\"", dev_});
    sh("for i in $(seq 500); do readlink /proc/\"$1\"/fd/0 | grep -q ^/dev/ && break; sleep 0.01; done",
       {std::to_string(reader.pid())});
    auto [status, output] = ChildProcess::run({"/usr/bin/timeout", "5", diskutil, "unmount", dev_});
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("warning: " + dev_ + " is still open in process " + std::to_string(reader.pid())), std::string::npos)
        << output;
}

// Names and options that would hurt are refused before anything is written.
TEST_F(DiskDriver, RefusedNamesAndOptionsLeaveTheDeviceAlone)
{
    prepare("clean");
    auto identity = [&] { return sh("blkid -p -o value -s LABEL -s UUID \"$1\"", {dev_}); };
    const auto before = identity();
    std::string emojis;  // two UTF-16 units each
    for (int i = 0; i < 63; ++i)
        emojis += "\U0001F600";
    for (const std::string& name : {std::string(129, 'a'), std::string(5000, 'b'), std::string("-x"),
                                    std::string("--new-serial"), std::string("bad\xff"), emojis + "\U0001F600\U0001F600"}) {
        // Run directly: the bus carries no invalid UTF-8.
        EXPECT_EQ(ChildProcess::run({formatter, "-v", name, dev_}).first, 64) << name;
        EXPECT_EQ(ChildProcess::run({diskutil, "rename", dev_, name}).first, 64) << name;
    }
    EXPECT_EQ(client_->formatDisk(diskutil, dev_, 0, "Twelve Chars", true).status, 64);
    for (const char* options : {"uid=0,*", "suid", "nosuid,dev"})
        EXPECT_EQ(client_->mountNTFSDisk(mountHelper, dev_, options, volumes_ / "refused").status, 64) << options;
    EXPECT_EQ(identity(), before);

    ASSERT_EQ(client_->renameUnmountedVolume(diskutil, dev_, emojis + "\u00e9\u00e9").status, 0);
    EXPECT_EQ(sh("ntfslabel \"$1\"", {dev_}), emojis + "\u00e9\u00e9\n");
    auto asked = client_->mountNTFSDisk(mountHelper, dev_, "uid=1000,gid=1000,umask=022,windows_names", volumes_ / "asked");
    ASSERT_EQ(asked.status, 0) << asked.text.value_or("");
    EXPECT_FALSE(readOnlyAt(volumes_ / "asked"));
    EXPECT_EQ(sh("stat -c %u:%g \"$1\"", {volumes_ / "asked"}), "1000:1000\n");
    EXPECT_EQ(client_->unmountDisk(diskutil, dev_).status, 0);
}

}  // namespace
