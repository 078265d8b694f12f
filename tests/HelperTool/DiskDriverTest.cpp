// The driver files on real block devices (loop devices over sparse images, FUSE), every step
// through the helper on a private bus, checked afterwards with ntfs-3g's and exfatprogs' own tools.
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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

bool readOnlyAt(const fs::path& at) { return ("," + sh("findmnt -rn -o OPTIONS --mountpoint \"$1\"", {at})).find(",ro,") != std::string::npos; }

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

}  // namespace
