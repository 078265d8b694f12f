#include "Driver/BlockDevice.h"

#include "Common/UniqueFd.h"
#include "Driver/MountTable.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <poll.h>
#include <set>
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
    fs::path self = fs::canonical(sysfsOf(number), ec);
    if (ec)
        return family;
    for (const auto& child : fs::directory_iterator(self, ec))
        if (fs::exists(child.path() / "partition"))
            if (auto part = numberFromSysfs(child.path()))
                family.emplace_back(*part, child.path().filename().string());
    for (std::size_t i = 0; i < family.size() && i < 256; ++i) {
        for (const auto& holder : fs::directory_iterator(sysfsOf(family[i].first) / "holders", ec))
            if (auto held = numberFromSysfs(fs::path("/sys/class/block") / holder.path().filename()))
                family.emplace_back(*held, holder.path().filename().string());
    }
    return family;
}

std::string linkText(const fs::path& link)
{
    std::array<char, 256> buffer;
    ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
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

int mountIdOf(const fs::path& fdinfo)
{
    std::ifstream info(fdinfo);
    std::string key;
    int id = -1;
    while (info >> key)
        if (key == "mnt_id:" && info >> id)
            return id;
    return -1;
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
    std::error_code ec;
    fs::path self = fs::canonical(sysfsOf(number_), ec);
    if (ec || !fs::exists(self / "partition", ec))
        return *this;
    fs::path disk = self.parent_path();
    auto number = numberFromSysfs(disk);
    std::string path = "/dev/" + disk.filename().string();
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

std::vector<BlockDevice::Holder> BlockDevice::holders() const
{
    const std::set<int> nodeMounts = deviceNodeMounts();
    std::vector<Holder> found;
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(getpid()))
            continue;
        Holder holder{static_cast<pid_t>(std::stol(name)), false};
        bool holds = false;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::string target = linkText(fd.path());
            if (target == "/dev/fuse")
                holder.servesFuse = true;
            if (holds || target.rfind("/dev/", 0) != 0)
                continue;
            if (!nodeMounts.count(mountIdOf(process.path() / "fdinfo" / fd.path().filename())))
                continue;
            struct statx info {};
            holds = statx(AT_FDCWD, fd.path().c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &info) == 0
                    && S_ISBLK(info.stx_mode) && makedev(info.stx_rdev_major, info.stx_rdev_minor) == number_;
        }
        if (holds)
            found.push_back(holder);
    }
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

}  // namespace ntfs
