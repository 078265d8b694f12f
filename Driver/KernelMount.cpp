#include "Driver/KernelMount.h"

#include <cerrno>
#include <cstring>
#include <sstream>
#include <sys/mount.h>

namespace ntfs {
namespace {

struct Flag {
    const char* name;
    unsigned long set;    // what the option turns on
    unsigned long clear;  // what it turns off
};

constexpr Flag flags[] = {
    {"ro", MS_RDONLY, 0},          {"rw", 0, MS_RDONLY},           {"nosuid", MS_NOSUID, 0},
    {"suid", 0, MS_NOSUID},        {"nodev", MS_NODEV, 0},         {"dev", 0, MS_NODEV},
    {"noexec", MS_NOEXEC, 0},      {"exec", 0, MS_NOEXEC},         {"sync", MS_SYNCHRONOUS, 0},
    {"async", 0, MS_SYNCHRONOUS},  {"dirsync", MS_DIRSYNC, 0},     {"noatime", MS_NOATIME, 0},
    {"atime", 0, MS_NOATIME},      {"nodiratime", MS_NODIRATIME, 0}, {"diratime", 0, MS_NODIRATIME},
    {"relatime", MS_RELATIME, 0},  {"norelatime", 0, MS_RELATIME}, {"strictatime", MS_STRICTATIME, 0},
    {"lazytime", MS_LAZYTIME, 0},  {"nolazytime", 0, MS_LAZYTIME}, {"silent", MS_SILENT, 0},
};

// Options that only mount(8) and fstab read; the kernel would refuse them.
bool userSpaceOnly(const std::string& option)
{
    static const char* const names[] = {"defaults", "auto", "noauto", "user", "nouser", "users", "nofail", "_netdev"};
    for (const char* name : names)
        if (option == name)
            return true;
    return option.rfind("x-", 0) == 0 || option.rfind("comment=", 0) == 0;
}

}  // namespace

bool KernelMount::mount(const std::string& device, const std::string& target, const std::string& type,
                        const std::string& options, std::string& why)
{
    unsigned long mountFlags = MS_SILENT;
    std::string data;
    std::istringstream list(options);
    for (std::string option; std::getline(list, option, ',');) {
        if (option.empty() || userSpaceOnly(option))
            continue;
        const Flag* flag = nullptr;
        for (const Flag& candidate : flags)
            if (option == candidate.name)
                flag = &candidate;
        if (flag)
            mountFlags = (mountFlags & ~flag->clear) | flag->set;
        else
            data += (data.empty() ? "" : ",") + option;
    }
    int result = ::mount(device.c_str(), target.c_str(), type.c_str(), mountFlags, data.empty() ? nullptr : data.c_str());
    // As mount(8) does: a write-protected medium is mounted read-only.
    if (result != 0 && (errno == EROFS || errno == EACCES) && !(mountFlags & MS_RDONLY))
        result = ::mount(device.c_str(), target.c_str(), type.c_str(), mountFlags | MS_RDONLY, data.empty() ? nullptr : data.c_str());
    if (result == 0)
        return true;
    why = "the kernel's " + type + " refused it: " + std::strerror(errno);
    return false;
}

}  // namespace ntfs
