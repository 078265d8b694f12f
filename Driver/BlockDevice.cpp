#include "Driver/BlockDevice.h"

#include "Common/UniqueFd.h"
#include "Driver/MountTable.h"

#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <dirent.h>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <set>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ntfs {
namespace {

namespace fs = std::filesystem;

// Device number -> where it is in use ("mounted at /data", "swap").
using InUse = std::map<dev_t, std::string>;

void addMounts(InUse& inUse)
{
    const MountTable table = MountTable::read();
    for (const auto& entry : table.entries()) {
        std::string where = "mounted at " + entry.target;
        if (entry.target == "/")
            where += " (the running system's root)";
        // A FUSE volume carries the number of its block device, a kernel one too; the source
        // path catches the rest.
        inUse.emplace(entry.device, where);
        if (entry.sourceDevice)
            inUse.emplace(*entry.sourceDevice, where);
    }
}

void addSwaps(InUse& inUse)
{
    std::ifstream swaps("/proc/swaps");
    std::string line;
    std::getline(swaps, line);  // the heading
    while (std::getline(swaps, line))
        if (auto number = MountTable::deviceNumberOf(line.substr(0, line.find_first_of(" \t"))))
            inUse.emplace(*number, "used as swap");
}

fs::path sysfsOf(dev_t number)
{
    return fs::path("/sys/dev/block") / (std::to_string(major(number)) + ":" + std::to_string(minor(number)));
}

std::optional<dev_t> numberFromSysfs(const fs::path& dir)
{
    std::ifstream file(dir / "dev");
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (!(file >> maj >> colon >> min) || colon != ':')
        return std::nullopt;
    return makedev(maj, min);
}

// The device itself, its partitions, and everything stacked on any of them, with a name each.
std::vector<std::pair<dev_t, std::string>> familyOf(dev_t number)
{
    std::vector<std::pair<dev_t, std::string>> family{{number, ""}};
    std::error_code ec;
    // Partitions are the sub-folders named after the disk ("sdb1", "loop0p1").
    const std::string disk = fs::read_symlink(sysfsOf(number), ec).filename().string();
    if (ec)
        return family;
    for (const auto& child : fs::directory_iterator(sysfsOf(number), ec)) {
        const std::string name = child.path().filename().string();
        if (name.size() > disk.size() && name.compare(0, disk.size(), disk) == 0 && fs::exists(child.path() / "partition", ec))
            if (auto part = numberFromSysfs(child.path()))
                family.emplace_back(*part, name);
    }
    for (std::size_t i = 0; i < family.size() && i < 256; ++i) {
        for (const auto& holder : fs::directory_iterator(sysfsOf(family[i].first) / "holders", ec))
            if (auto held = numberFromSysfs(fs::path("/sys/class/block") / holder.path().filename()))
                family.emplace_back(*held, holder.path().filename().string());
    }
    return family;
}

// The entries of a /proc folder, read straight from the kernel: the scan below visits every
// process and descriptor, and allocates nothing per name. `visit` returns false to stop.
template <typename Visit>
void forEachEntry(int folder, Visit visit)
{
    std::array<char, 8192> buffer;
    for (ssize_t n; (n = getdents64(folder, buffer.data(), buffer.size())) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
            at += entry->d_reclen;
            if (entry->d_name[0] != '.' && !visit(entry->d_name))
                return;
        }
    }
}

// The mounts that hold device nodes: only descriptors opened there are worth a look.
std::set<int> deviceNodeMounts()
{
    std::set<int> ids;
    const MountTable table = MountTable::read();
    for (const auto& entry : table.entries())
        if (entry.type == "devtmpfs" || entry.type == "tmpfs")
            ids.insert(entry.id);
    return ids;
}

// Whether no one holds the device exclusively: a driver or a kernel mount. A refused open is no
// close of the node, so it wakes no watcher.
bool releasedAt(const std::string& path)
{
    UniqueFd probe(open(path.c_str(), O_RDONLY | O_EXCL | O_NONBLOCK | O_CLOEXEC));
    return probe || errno != EBUSY;
}

int mountIdOf(int fdinfoFolder, const char* fd)
{
    UniqueFd info(openat(fdinfoFolder, fd, O_RDONLY | O_CLOEXEC));
    std::array<char, 512> text{};
    if (!info || read(info.get(), text.data(), text.size() - 1) <= 0)
        return -1;
    const char* at = std::strstr(text.data(), "mnt_id:");
    return at ? std::atoi(at + 7) : -1;
}

// Whether process `pid` holds `device` open.
bool holdsDevice(int proc, const char* pid, dev_t device, const std::set<int>& nodeMounts)
{
    const std::string process(pid);
    UniqueFd fds(openat(proc, (process + "/fd").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fds)
        return false;
    UniqueFd fdinfo;
    bool holds = false;
    forEachEntry(fds.get(), [&](const char* fd) {
        std::array<char, 64> target{};
        ssize_t n = readlinkat(fds.get(), fd, target.data(), target.size() - 1);
        if (n < 0)
            return errno != EACCES;  // one refused, all are: the process is not ours to look into
        if (std::string_view(target.data(), static_cast<std::size_t>(n)).substr(0, 5) != "/dev/")
            return true;
        if (!fdinfo)
            fdinfo = UniqueFd(openat(proc, (process + "/fdinfo").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!nodeMounts.count(mountIdOf(fdinfo.get(), fd)))
            return true;
        struct statx info {};
        holds = statx(fds.get(), fd, AT_STATX_DONT_SYNC, STATX_TYPE, &info) == 0 && S_ISBLK(info.stx_mode)
                && makedev(info.stx_rdev_major, info.stx_rdev_minor) == device;
        return !holds;
    });
    return holds;
}

}  // namespace

std::optional<BlockDevice> BlockDevice::named(const std::string& disk, std::string& why)
{
    if (disk.empty()) {
        why = "no device named";
        return std::nullopt;
    }
    std::string path = disk.front() == '/' ? disk : "/dev/" + disk;
    // Without waking the file system the path is on: it may be a hung one.
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &info) != 0 || !S_ISBLK(info.stx_mode)) {
        why = path + " is not a block device";
        return std::nullopt;
    }
    return BlockDevice(path, makedev(info.stx_rdev_major, info.stx_rdev_minor));
}

BlockDevice BlockDevice::wholeDisk() const
{
    // The kernel's link names the partition's folder, which sits in its disk's ("…/sdb/sdb1").
    std::error_code ec;
    const fs::path self = sysfsOf(number_);
    const fs::path link = fs::read_symlink(self, ec);
    if (ec || !fs::exists(self / "partition", ec))
        return *this;
    auto number = numberFromSysfs(self / "..");
    std::string path = "/dev/" + link.parent_path().filename().string();
    if (number && MountTable::deviceNumberOf(path) == number)
        return BlockDevice(path, *number);
    return *this;
}

BlockDevice::Usage BlockDevice::usage() const
{
    InUse inUse;
    addMounts(inUse);
    addSwaps(inUse);
    for (const auto& [number, name] : familyOf(number_)) {
        auto found = inUse.find(number);
        if (found == inUse.end())
            continue;
        if (name.empty())
            return {Use::Mounted, path_ + " is " + found->second};
        return {Use::HoldsMounted, path_ + " holds " + name + ", " + found->second};
    }
    // Whoever holds the device exclusively (a FUSE driver, a volume manager) is using it.
    UniqueFd exclusive(open(path_.c_str(), O_RDONLY | O_EXCL | O_CLOEXEC));
    if (!exclusive && errno == EBUSY)
        return {Use::Mounted, path_ + " is busy: another program holds it open"};
    return {};
}

std::vector<pid_t> BlockDevice::holders() const
{
    const std::set<int> nodeMounts = deviceNodeMounts();
    const std::string self = std::to_string(getpid());
    std::vector<pid_t> found;
    UniqueFd proc(open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc)
        return found;
    forEachEntry(proc.get(), [&](const char* name) {
        if (std::isdigit(static_cast<unsigned char>(name[0])) && self != name && holdsDevice(proc.get(), name, number_, nodeMounts))
            found.push_back(static_cast<pid_t>(std::atol(name)));
        return true;
    });
    return found;
}

bool BlockDevice::waitForEnd(const std::vector<pid_t>& pids, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (pid_t pid : pids) {
        UniqueFd process(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
        if (!process)
            continue;  // already gone
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ended{process.get(), POLLIN, 0};
        if (left.count() <= 0 || poll(&ended, 1, static_cast<int>(left.count())) != 1)
            return false;
    }
    return true;
}

bool BlockDevice::waitForRelease(std::chrono::milliseconds timeout) const
{
    // Mostly it is free already: a FUSE daemon closes its device while it answers the unmount.
    // Only then does a watch pay off, whose teardown costs the kernel a grace period.
    if (releasedAt(path_))
        return true;
    UniqueFd closes(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!closes || inotify_add_watch(closes.get(), path_.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        return releasedAt(path_);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::array<char, 4096> events;
    while (!releasedAt(path_)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd closed{closes.get(), POLLIN, 0};
        if (left.count() <= 0 || poll(&closed, 1, static_cast<int>(left.count())) != 1)
            return releasedAt(path_);
        while (read(closes.get(), events.data(), events.size()) > 0) {
        }
    }
    return true;
}

}  // namespace ntfs
