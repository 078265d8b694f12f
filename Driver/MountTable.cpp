#include "Driver/MountTable.h"

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ntfs {
namespace {

// The kernel writes space, tab, newline and backslash in paths as \ooo.
std::string unescaped(const std::string& field)
{
    auto octal = [&](std::size_t at) { return at < field.size() && field[at] >= '0' && field[at] <= '7'; };
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// One line of /proc/self/mountinfo: "ID PARENT MAJOR:MINOR ROOT TARGET OPTIONS [TAGS...] - TYPE
// SOURCE SUPER-OPTIONS".
std::optional<MountTable::Entry> parsedLine(const std::string& line)
{
    std::istringstream fields(line);
    MountTable::Entry entry;
    int parent = 0;
    unsigned deviceMajor = 0, deviceMinor = 0;
    char colon = 0;
    std::string root, target, tag;
    if (!(fields >> entry.id >> parent >> deviceMajor >> colon >> deviceMinor >> root >> target >> entry.options) || colon != ':')
        return std::nullopt;
    while (fields >> tag && tag != "-") {
    }
    std::string source;
    if (tag != "-" || !(fields >> entry.type >> source))
        return std::nullopt;
    entry.device = makedev(deviceMajor, deviceMinor);
    entry.target = unescaped(target);
    entry.source = unescaped(source);
    entry.type = unescaped(entry.type);
    return entry;
}

}  // namespace

std::optional<dev_t> MountTable::deviceNumberOf(const std::string& path)
{
    // Device nodes live under /dev; anything else may be a path into another mount.
    if (path.rfind("/dev/", 0) != 0)
        return std::nullopt;
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_STATX_DONT_SYNC, STATX_TYPE, &info) != 0 || !S_ISBLK(info.stx_mode))
        return std::nullopt;
    return makedev(info.stx_rdev_major, info.stx_rdev_minor);
}

MountTable MountTable::read()
{
    MountTable table;
    std::ifstream mountinfo("/proc/self/mountinfo");
    for (std::string line; std::getline(mountinfo, line);) {
        auto entry = parsedLine(line);
        if (!entry)
            continue;
        entry->sourceDevice = deviceNumberOf(entry->source);
        table.entries_.push_back(std::move(*entry));
    }
    return table;
}

const MountTable::Entry* MountTable::at(const std::string& target) const
{
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry)
        if (entry->target == target)
            return &*entry;
    return nullptr;
}

std::vector<MountTable::Entry> MountTable::of(dev_t device) const
{
    std::vector<Entry> found;
    for (const auto& entry : entries_)
        if (entry.device == device || entry.sourceDevice == device)
            found.push_back(entry);
    return found;
}

bool MountTable::readOnly(const Entry& entry) { return ("," + entry.options + ",").find(",ro,") != std::string::npos; }

}  // namespace ntfs
