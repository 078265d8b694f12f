// bench_disk_messages [ROUNDS] [MIB]: each disk message through the helper, against the same driver
// program run directly (spawn and wait, in-process) with the same arguments on the same loop device,
// round by round: the helper's share (goal: at most 1.1). A third column runs the ntfs-3g or
// exfatprogs tool underneath on its own: the driver's share, the price of its checks (lock, state,
// devices in use; goal for mount, unmount, check and rename: at most 1.5). An unmount is done when
// the volume's FUSE daemon has written it out and let go of the device, so its third column is
// umount(8) and then the end of that daemon. A fourth runs the same tool under timeout(1): the
// least that any program costs which starts a tool with a deadline and waits for it, the floor
// under the driver's share. Prints medians, then the
// processes that one mount, unmount and check through the helper start (strace on the helper; goal
// for a mount: 4). Needs root, loop devices, FUSE and ntfs-3g; says so and ends otherwise. Asserts
// nothing.
#include "Common/UniqueFd.h"
#include "HelperTool/Platform/Linux/PosixCommandRunner.h"
#include "bench/Measure.h"
#include "tests/HelperTool/HelperDaemon.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <poll.h>
#include <sstream>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
const fs::path driver = NTFS_DRIVER_DIR;

struct Pair {
    std::function<void()> prepare;  // untimed, before each of the two
    std::function<void()> helper;
    std::function<void()> tool;  // the same driver file, run directly
    std::function<void(bool)> raw;  // what the driver file launches; true: under timeout(1)
};

// The processes (not threads) that `step` makes the helper and its descendants start, from an
// strace of the helper: its clone, fork and vfork calls without CLONE_THREAD.
int processesStarted(pid_t helper, const fs::path& trace, const std::function<void()>& step)
{
    {
        ntfs::test::ChildProcess strace({"/usr/bin/strace", "-f", "-qq", "-e", "trace=clone,clone3,fork,vfork", "-e", "signal=none",
                                         "-o", trace.string(), "-p", std::to_string(helper)});
        // strace has attached once the helper has a tracer.
        for (int tries = 0; tries < 500; ++tries) {
            std::ifstream status("/proc/" + std::to_string(helper) + "/status");
            std::string line;
            while (std::getline(status, line) && line.rfind("TracerPid:", 0) != 0) {
            }
            if (line.size() > 10 && std::stoi(line.substr(10)) != 0)
                break;
            usleep(10000);
        }
        step();
    }
    std::ifstream lines(trace);
    int started = 0;
    for (std::string line; std::getline(lines, line);)
        if (line.find("resumed>") == std::string::npos && line.find("CLONE_THREAD") == std::string::npos
            && (line.find("clone") != std::string::npos || line.find("fork(") != std::string::npos))
            ++started;
    return started;
}

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
    pid_t fuseDaemon = 0;  // of the volume that `mountedWithDaemon` mounted
    auto mountedWithDaemon = [&] {
        mounted();
        fuseDaemon = static_cast<pid_t>(std::atoi(run.run("/usr/bin/pgrep", {"-n", "-x", "ntfs-3g"}).output.c_str()));
    };
    auto runRaw = [&run](bool wrapped, const std::string& program, std::vector<std::string> args) {
        if (!wrapped)
            return run.run(program, args);
        args.insert(args.begin(), {"600", program});
        return run.run("/usr/bin/timeout", args);
    };
    auto raw = [&runRaw](const std::string& program, std::vector<std::string> args) {
        return [&runRaw, program, args = std::move(args)](bool wrapped) { runRaw(wrapped, program, args); };
    };
    auto umountAndDaemonEnd = [&](bool wrapped) {
        ntfs::UniqueFd ends(static_cast<int>(syscall(SYS_pidfd_open, fuseDaemon, 0)));
        runRaw(wrapped, "/usr/bin/umount", {dev});
        pollfd ended{ends.get(), POLLIN, 0};
        if (ends)
            poll(&ended, 1, 20000);
    };

    auto direct = [&](const std::string& tool, std::vector<std::string> args) {
        return [&run, tool, args = std::move(args)] { run.run(tool, args); };
    };
    const std::vector<std::pair<const char*, Pair>> pairs{
        {"format", {[] {}, [&] { helper->formatNTFSDisk(formatter, dev, "Bench"); },
                    direct(formatter, {"-v", "Bench", dev}), raw("/usr/sbin/mkntfs", {"-Q", "-L", "Bench", dev})}},
        {"mount", {[&] { unmount(); ntfs(); }, [&] { helper->mountNTFSDisk(mountHelper, dev, "", mp); },
                   direct(mountHelper, {"-o", "", dev, mp}), raw("/usr/bin/ntfs-3g", {dev, mp})}},
        {"unmount", {mountedWithDaemon, [&] { helper->unmountDisk(diskutil, dev); }, direct(diskutil, {"unmount", dev}),
                     umountAndDaemonEnd}},
        {"check", {[&] { unmount(); ntfs(); }, [&] { helper->checkDisk(fix, dev); }, direct(fix, {dev}),
                   raw("/usr/bin/ntfsfix", {"-d", dev})}},
        {"rename", {[] {}, [&] { helper->renameUnmountedVolume(diskutil, dev, "Renamed"); },
                    direct(diskutil, {"rename", dev, "Renamed"}), raw("/usr/sbin/ntfslabel", {dev, "Renamed"})}},
        {"eraseVolume", {[] {}, [&] { helper->formatDisk(diskutil, dev, 0, "Stick", true); },
                         direct(diskutil, {"eraseVolume", "ExFAT", "Stick", dev}),
                         raw("/usr/sbin/mkfs.exfat", {"-L", "Stick", dev})}},
    };
    struct Times {
        std::vector<double> helper, tool, raw, wrapped;
    };
    std::map<std::string, Times> times;
    auto timed = [&](const Pair& pair, const std::function<void()>& step, std::vector<double>& into) {
        pair.prepare();
        into.push_back(microseconds(step));
        unmount();
    };
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [name, pair] : pairs) {
            timed(pair, pair.helper, times[name].helper);
            timed(pair, pair.tool, times[name].tool);
            timed(pair, [&] { pair.raw(false); }, times[name].raw);
            timed(pair, [&] { pair.raw(true); }, times[name].wrapped);
        }
    }
    auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    std::printf("%-12s %10s %10s %10s %10s %12s %9s %12s   (%d rounds, %ld MiB image on %s)\n", "message", "helper ms",
                "tool ms", "raw ms", "timeout ms", "helper/tool", "tool/raw", "timeout/raw", rounds, mebibytes, dev.c_str());
    for (const auto& [name, pair] : pairs) {
        const Times& t = times[name];
        double h = median(t.helper) / 1000, d = median(t.tool) / 1000, r = median(t.raw) / 1000, w = median(t.wrapped) / 1000;
        std::printf("%-12s %10.1f %10.1f %10.1f %10.1f %12.2f %9.2f %12.2f\n", name, h, d, r, w, h / d, d / r, w / r);
    }
    unmount();
    ntfs();
    const fs::path trace = dir / "strace.out";
    int mounting = processesStarted(daemon.pid(), trace, [&] { helper->mountNTFSDisk(mountHelper, dev, "", mp); });
    int unmounting = processesStarted(daemon.pid(), trace, [&] { helper->unmountDisk(diskutil, dev); });
    int checking = processesStarted(daemon.pid(), trace, [&] { helper->checkDisk(fix, dev); });
    std::printf("processes started through the helper: mount %d, unmount %d, check %d\n", mounting, unmounting, checking);
    unmount();
    run.run("/usr/sbin/losetup", {"-d", dev});
}
