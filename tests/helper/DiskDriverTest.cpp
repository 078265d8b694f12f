// The driver files on real block devices (loop devices over sparse images, FUSE), every step
// through the helper on a private bus, checked afterwards with ntfs-3g's and exfatprogs' own tools.
#include "ChildProcess.h"
#include "HelperDaemon.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
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

std::string mountOptionsAt(const fs::path& mountPoint)
{
    return sh("findmnt -rn -o OPTIONS --mountpoint \"$1\"", {mountPoint});
}
bool readOnlyAt(const fs::path& mountPoint) { return ("," + mountOptionsAt(mountPoint)).find(",ro,") != std::string::npos; }

// A loop device over a sparse image file, with partition scanning; detached (after whatever is
// still mounted from it is unmounted) when the object goes.
class LoopImage {
public:
    LoopImage(const fs::path& image, std::size_t mebibytes)
    {
        std::ofstream(image).close();
        fs::resize_file(image, mebibytes << 20);
        device_ = sh("losetup -P -f --show \"$1\"", {image});
        if (!device_.empty() && device_.back() == '\n')
            device_.pop_back();
    }
    ~LoopImage()
    {
        if (!device_.empty())
            sh("for d in \"$1\" \"$1\"p*; do while findmnt --source \"$d\" >/dev/null && umount \"$d\"; do :; done; done;"
               " losetup -d \"$1\"", {device_});
    }
    const std::string& device() const { return device_; }

private:
    std::string device_;
};

class DiskDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(fixTool))
            GTEST_SKIP() << "the driver files are laid out with the app (NTFS_WITH_APP=ON)";
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root for loop devices and mounts";
        if (!fs::exists("/dev/loop-control") || !fs::exists("/dev/fuse"))
            GTEST_SKIP() << "needs loop devices (/dev/loop-control) and FUSE (/dev/fuse)";
        if (sh("for t in ntfs-3g mkntfs mkfs.exfat fsck.exfat sfdisk; do command -v $t >/dev/null || echo $t; done") != "")
            GTEST_SKIP() << "needs ntfs-3g, exfatprogs and sfdisk";
        loop_ = std::make_unique<LoopImage>(dir_ / "disk.img", 64);
        if (loop_->device().empty())
            GTEST_SKIP() << "losetup found no free loop device";
    }

    // A volume in the given state, as Windows could leave it.
    void prepare(const std::string& state)
    {
        ASSERT_EQ(client_->formatNTFSDisk(formatter, dev(), "Win").status, 0);
        if (state == "dirty")
            sh("ntfsfix \"$1\" >/dev/null", {dev()});  // leaves the dirty flag set
        if (state == "hibernated")
            sh("mkdir -p \"$2\" && ntfs-3g \"$1\" \"$2\" && { printf hibr; head -c 8188 /dev/urandom; } >\"$2/hiberfil.sys\""
               " && umount \"$2\"", {dev(), dir_ / "raw"});
    }

    const std::string& dev() const { return loop_->device(); }

    TempDir dir_;
    std::unique_ptr<LoopImage> loop_;
    HelperDaemon daemon_;
    std::unique_ptr<HelperToolClient> client_ = daemon_.client();
    const fs::path volumes_ = dir_ / "Volumes";
};

TEST_F(DiskDriver, NtfsRoundTripIsWhatNtfs3gsOwnToolsSee)
{
    ASSERT_EQ(client_->formatNTFSDisk(formatter, dev(), "Tëst Vol").status, 0);
    auto mountPoint = volumes_ / "Tëst Vol";
    auto mounted = client_->mountNTFSDisk(mountHelper, dev(), "", mountPoint);
    ASSERT_EQ(mounted.status, 0) << mounted.text.value_or("");
    EXPECT_FALSE(readOnlyAt(mountPoint));
    EXPECT_NE(mounted.text->find("tarn_ntfs-mount: access=rw state=clean"), std::string::npos) << *mounted.text;

    const std::vector<std::pair<std::string, std::size_t>> files{
        {"plain.bin", 1 << 20}, {"with spaces .txt", 3 << 20}, {"Grüße ñandú 日本.dat", (2 << 20) + 7}};
    std::vector<std::string> contents;
    for (const auto& [name, size] : files) {
        std::string content(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>((i * 2654435761u) >> 13);
        std::ofstream(mountPoint / name, std::ios::binary) << content;
        contents.push_back(content);
    }
    auto unmounted = client_->unmountDisk(diskutil, dev());
    ASSERT_EQ(unmounted.status, 0) << unmounted.text.value_or("");
    auto checked = client_->checkDisk(fixTool, dev());
    EXPECT_EQ(checked.status, 0) << checked.text.value_or("");
    EXPECT_EQ(client_->renameUnmountedVolume(diskutil, dev(), "Nëw Näme").status, 0);

    EXPECT_EQ(sh("ntfslabel \"$1\"", {dev()}), "Nëw Näme\n");
    EXPECT_NE(sh("ntfsinfo -m \"$1\"", {dev()}).find("Volume Name: Nëw Näme\n"), std::string::npos);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_TRUE(sh("ntfscat \"$1\" \"$2\"", {dev(), files[i].first}) == contents[i]) << files[i].first;
}

TEST_F(DiskDriver, NothingInUseIsErasedAndFailedMountsLeaveNoMountPoint)
{
    auto mountPoint = volumes_ / "Zeroed";
    auto zeroed = client_->mountNTFSDisk(mountHelper, dev(), "", mountPoint);
    EXPECT_EQ(zeroed.status, 32);
    EXPECT_NE(zeroed.text.value_or("").find("not an NTFS volume"), std::string::npos);
    EXPECT_FALSE(fs::exists(mountPoint));

    // A partitioned disk whose partition is mounted: neither may be erased.
    ASSERT_EQ(client_->formatDisk(diskutil, dev(), 0, "Whole", false).status, 0);
    const std::string part = dev() + "p1";
    ASSERT_EQ(client_->formatNTFSDisk(formatter, part, "Data").status, 0);
    ASSERT_EQ(client_->mountNTFSDisk(mountHelper, part, "", volumes_ / "Data").status, 0);
    sh("head -c 2000000 /dev/urandom >\"$1/keep.bin\"", {volumes_ / "Data"});
    auto sum = [&] { return sh("sha256sum \"$1/keep.bin\"", {volumes_ / "Data"}); };
    auto before = sum();

    struct Refusal {
        const char* what;
        std::function<CommandResult()> call;
        std::int32_t status;
    };
    const std::vector<Refusal> refusals{
        {"format mounted", [&] { return client_->formatNTFSDisk(formatter, part, "X"); }, 75},
        {"eraseVolume mounted", [&] { return client_->formatDisk(diskutil, part, 0, "X", true); }, 75},
        {"eraseDisk holding it", [&] { return client_->formatDisk(diskutil, dev(), 0, "X", false); }, 76},
        {"format its disk", [&] { return client_->formatNTFSDisk(formatter, dev(), "X"); }, 76},
        {"format a plain file", [&] { return client_->formatNTFSDisk(formatter, dir_ / "disk.img", "X"); }, 66},
    };
    for (const auto& refusal : refusals) {
        auto result = refusal.call();
        EXPECT_EQ(result.status, refusal.status) << refusal.what << ": " << result.text.value_or("");
    }
    EXPECT_EQ(sum(), before);
    EXPECT_EQ(client_->unmountDisk(diskutil, volumes_ / "Data").status, 0);
}

TEST_F(DiskDriver, ExfatErasesGiveVolumesThatExfatprogsAccept)
{
    for (bool hasLeaf : {true, false}) {
        ASSERT_EQ(client_->formatDisk(diskutil, dev(), 0, "Stick", hasLeaf).status, 0);
        std::string volume = hasLeaf ? dev() : dev() + "p1";
        EXPECT_EQ(sh("blkid -p -o value -s TYPE \"$1\"; blkid -p -o value -s LABEL \"$1\"", {volume}), "exfat\nStick\n");
        EXPECT_EQ(sh("fsck.exfat -n \"$1\" >/dev/null; echo $?", {volume}), "0\n") << volume;
        sh("wipefs -q -a \"$1\"", {dev()});
    }
}

struct WindowsState {
    const char* state;
    bool readOnly;
    const char* reason;      // in the first line of the reply
    std::int32_t checkStatus;
};
const std::vector<WindowsState> windowsStates{
    {"clean", false, "read-write", 0},
    {"dirty", true, "read-only: Windows did not unmount this volume cleanly", 0},
    {"hibernated", true, "read-only: Windows is hibernated on this volume", 78},
};

std::string firstLine(const CommandResult& result) { return result.text.value_or("").substr(0, result.text.value_or("").find('\n')); }

TEST_F(DiskDriver, VolumesThatWindowsLeftBehindMountReadOnlySayingWhy)
{
    for (const auto& c : windowsStates) {
        SCOPED_TRACE(c.state);
        prepare(c.state);
        auto hiberfil = [&] { return sh("ntfscat -f \"$1\" hiberfil.sys 2>/dev/null | sha256sum", {dev()}); };
        auto hiberfilBefore = hiberfil();
        // The disk utility's mount decides the same way as the mount helper.
        auto mountPoint = c.readOnly ? volumes_ / c.state : fs::path("/media") / fs::path(dev()).filename();
        auto mounted = c.readOnly ? client_->mountNTFSDisk(mountHelper, dev(), "rw,remove_hiberfile", mountPoint)
                                  : client_->mountDisk(diskutil, dev());
        ASSERT_EQ(mounted.status, 0) << mounted.text.value_or("");
        EXPECT_EQ(readOnlyAt(mountPoint), c.readOnly);
        EXPECT_NE(firstLine(mounted).find(c.reason), std::string::npos) << *mounted.text;
        EXPECT_NE(mounted.text->find(std::string("tarn_ntfs-mount: access=") + (c.readOnly ? "ro" : "rw") + " state=" + c.state),
                  std::string::npos) << *mounted.text;
        ASSERT_EQ(client_->unmountDisk(diskutil, dev()).status, 0);

        auto checked = client_->checkDisk(fixTool, dev());
        EXPECT_EQ(checked.status, c.checkStatus) << checked.text.value_or("");
        EXPECT_EQ(hiberfil(), hiberfilBefore);
        auto again = client_->mountNTFSDisk(mountHelper, dev(), "", volumes_ / "again");
        EXPECT_EQ(readOnlyAt(volumes_ / "again"), c.checkStatus != 0) << again.text.value_or("");
        ASSERT_EQ(client_->unmountDisk(diskutil, volumes_ / "again").status, 0);
    }
}

// This kernel has no ntfs3: a stand-in mount command takes its part, refusing read-write mounts
// the way the kernel refuses a volume it does not trust, and mounting read-only ones with ntfs-3g.
TEST_F(DiskDriver, Ntfs3BranchFallsBackToNtfs3gWhenTheKernelRefuses)
{
    auto bin = dir_ / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "modprobe") << "#!/bin/sh\nexit 0\n";
    std::ofstream(bin / "mount") << "#!/bin/sh\necho \"$*\" >>\"$0.calls\"\n"
                                    "case \",$4,\" in *,ro,*) exec ntfs-3g -o \"$4\" \"$5\" \"$6\" ;; esac\n"
                                    "echo \"mount: $6: wrong fs type, bad option, bad superblock on $5, missing codepage or helper program, or other error.\"\n"
                                    "exit 32\n";
    fs::permissions(bin / "modprobe", fs::perms::owner_all);
    fs::permissions(bin / "mount", fs::perms::owner_all);
    HelperDaemonOptions options;
    options.environment = {"PATH=" + bin.string() + ":" + std::getenv("PATH")};
    HelperDaemon withNtfs3(options);
    auto client = withNtfs3.client();

    prepare("dirty");
    auto dirty = client->mountNTFSDisk(mountHelper, dev(), "", volumes_ / "dirty");
    EXPECT_TRUE(readOnlyAt(volumes_ / "dirty")) << dirty.text.value_or("");
    EXPECT_NE(firstLine(dirty).find("read-only: Windows did not unmount"), std::string::npos) << *dirty.text;
    ASSERT_EQ(client->unmountDisk(diskutil, dev()).status, 0);

    prepare("clean");
    auto clean = client->mountNTFSDisk(mountHelper, dev(), "", volumes_ / "clean");
    EXPECT_FALSE(readOnlyAt(volumes_ / "clean")) << clean.text.value_or("");
    EXPECT_NE(clean.text->find("ntfs3 refused (mount: "), std::string::npos) << *clean.text;
    EXPECT_EQ(sh("cat \"$1\"", {bin / "mount.calls"}),
              "-t ntfs3 -o ro " + dev() + " " + (volumes_ / "dirty").string() + "\n-t ntfs3 -o rw " + dev() + " " +
                  (volumes_ / "clean").string() + "\n");
}

}  // namespace
