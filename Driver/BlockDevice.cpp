#include "BlockDevice.h"

#include "UniqueFd.h"

#include <libmount/libmount.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <poll.h>
#include <sys/syscall.h>
#include <time.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <vector>

namespace ntfs {
namespace {

namespace fs = std::filesystem;

std::optional<dev_t> blockNumberOf(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode))
        return std::nullopt;
    return info.st_rdev;
}

// Device number -> where it is in use ("mounted at /data", "swap").
using InUse = std::map<dev_t, std::string>;

void addMounts(InUse& inUse)
{
    std::unique_ptr<libmnt_table, decltype(&mnt_unref_table)> table(mnt_new_table_from_file("/proc/self/mountinfo"),
                                                                     &mnt_unref_table);
    if (!table)
        return;
    std::unique_ptr<libmnt_iter, decltype(&mnt_free_iter)> iter(mnt_new_iter(MNT_ITER_FORWARD), &mnt_free_iter);
    libmnt_fs* entry = nullptr;
    while (mnt_table_next_fs(table.get(), iter.get(), &entry) == 0) {
        const char* target = mnt_fs_get_target(entry);
        std::string where = std::string("mounted at ") + (target ? target : "?");
        if (target && std::strcmp(target, "/") == 0)
            where += " (the running system's root)";
        // A FUSE volume carries the number of its block device, a kernel one too; the source
        // path catches the rest.
        inUse.emplace(mnt_fs_get_devno(entry), where);
        if (const char* source = mnt_fs_get_srcpath(entry))
            if (auto number = blockNumberOf(source))
                inUse.emplace(*number, where);
    }
}

void addSwaps(InUse& inUse)
{
    std::ifstream swaps("/proc/swaps");
    std::string line;
    std::getline(swaps, line);  // the heading
    while (std::getline(swaps, line))
        if (auto number = blockNumberOf(line.substr(0, line.find_first_of(" \t"))))
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

}  // namespace

std::optional<BlockDevice> BlockDevice::named(const std::string& disk, std::string& why)
{
    if (disk.empty()) {
        why = "no device named";
        return std::nullopt;
    }
    std::string path = disk.front() == '/' ? disk : "/dev/" + disk;
    auto number = blockNumberOf(path);
    if (!number) {
        why = path + " is not a block device";
        return std::nullopt;
    }
    return BlockDevice(path, *number);
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
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        std::string name = process.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat info;
            if (stat(fd.path().c_str(), &info) == 0 && S_ISBLK(info.st_mode) && info.st_rdev == number_) {
                pids.push_back(static_cast<pid_t>(std::stol(name)));
                break;
            }
        }
    }
    return pids;
}

bool BlockDevice::waitForEnd(const std::vector<pid_t>& pids, int timeoutMs)
{
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (pid_t pid : pids) {
        UniqueFd process(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
        if (!process)
            continue;  // already gone
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long spent = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        pollfd ended{process.get(), POLLIN, 0};
        if (spent >= timeoutMs || poll(&ended, 1, static_cast<int>(timeoutMs - spent)) != 1)
            return false;
    }
    return true;
}

}  // namespace ntfs
