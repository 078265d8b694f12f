// bench_disk_messages [ROUNDS] [MIB]: each disk message through the helper and the driver files, against the tool that does the work
// run directly (spawn and wait, in-process) on the same loop device, round by round; prints the
// median of each and their ratio (goal for format, mount and check: at most 1.05). Needs root,
// loop devices, FUSE and ntfs-3g; says so and ends otherwise. Asserts nothing.
#include "HelperDaemon.h"
#include "Measure.h"
#include "PosixCommandRunner.h"
#include "TempDir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
const fs::path driver = NTFS_DRIVER_DIR;

struct Pair {
    std::function<void()> prepare;  // untimed, before each of the two
    std::function<void()> helper;
    std::function<void()> direct;
};

}  // namespace

int main(int argc, char** argv)
{
    using ntfs::bench::microseconds;
    if (geteuid() != 0 || !fs::exists("/dev/loop-control") || !fs::exists("/dev/fuse")) {
        std::cout << "bench_disk_messages: needs root, loop devices and FUSE; nothing measured\n";
        return 0;
    }
    int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    long mebibytes = argc > 2 ? std::atol(argv[2]) : 64;
    ntfs::test::TempDir dir;
    fs::resize_file((std::ofstream(dir / "disk.img"), dir / "disk.img"), static_cast<std::uintmax_t>(mebibytes) << 20);
    ntfs::PosixCommandRunner run;
    std::string dev = run.run("/usr/sbin/losetup", {"-f", "--show", (dir / "disk.img").string()}).output;
    dev.pop_back();
    const std::string mp = (dir / "Volumes/Bench").string();
    fs::create_directories(mp);

    ntfs::test::HelperDaemon daemon;
    auto helper = daemon.client();
    const std::string fix = driver / "tarn_ntfs_fix", formatter = driver / "tarn_ntfs-formatter",
                      diskutil = driver / "tarn_ntfs-diskutil",
                      mountHelper = driver / "tarn_ntfs.fs/Contents/Resources/mount.tarn_ntfs";
    auto ntfs = [&] { run.run("/usr/sbin/mkntfs", {"-Q", "-L", "Bench", dev}); };
    auto mounted = [&] { ntfs(); run.run("/usr/bin/ntfs-3g", {dev, mp}); };
    auto unmount = [&] { run.run(diskutil, {"unmount", dev}); };

    const std::vector<std::pair<const char*, Pair>> pairs{
        {"format", {[] {}, [&] { helper->formatNTFSDisk(formatter, dev, "Bench"); }, ntfs}},
        {"mount", {[&] { unmount(); ntfs(); }, [&] { helper->mountNTFSDisk(mountHelper, dev, "", mp); },
                   [&] { run.run("/usr/bin/ntfs-3g", {dev, mp}); }}},
        {"unmount", {mounted, [&] { helper->unmountDisk(diskutil, dev); }, [&] { run.run("/usr/bin/umount", {dev}); }}},
        {"check", {[&] { unmount(); ntfs(); }, [&] { helper->checkDisk(fix, dev); },
                   [&] { run.run("/usr/bin/ntfsfix", {"-d", dev}); }}},
        {"rename", {[] {}, [&] { helper->renameUnmountedVolume(diskutil, dev, "Renamed"); },
                    [&] { run.run("/usr/sbin/ntfslabel", {dev, "Renamed"}); }}},
        {"eraseVolume", {[] {}, [&] { helper->formatDisk(diskutil, dev, 0, "Stick", true); },
                         [&] { run.run("/usr/sbin/mkfs.exfat", {"-L", "Stick", dev}); }}},
    };
    std::map<std::string, std::pair<std::vector<double>, std::vector<double>>> times;
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, pair] : pairs) {
            pair.prepare();
            times[name].first.push_back(microseconds(pair.helper));
            unmount();
            pair.prepare();
            times[name].second.push_back(microseconds(pair.direct));
            unmount();
        }
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    std::printf("%-12s %14s %14s %8s   (%d rounds, %ld MiB image on %s)\n", "message", "helper ms", "direct ms", "ratio",
                rounds, mebibytes, dev.c_str());
    for (const auto& [name, pair] : pairs) {
        double h = median(times[name].first) / 1000, d = median(times[name].second) / 1000;
        std::printf("%-12s %14.1f %14.1f %8.2f\n", name, h, d, h / d);
    }
    unmount();
    run.run("/usr/sbin/losetup", {"-d", dev});
}
