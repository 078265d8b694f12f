#include "Common/MountFolderName.h"

namespace ntfs {
namespace {

// Leaves room for a suffix within the 255 bytes a file name may have.
constexpr std::size_t longestName = 240;

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

std::string MountFolderName::sanitized(const std::string& text)
{
    std::string name;
    for (unsigned char c : text)
        name += (c == '/' || c < 0x20 || c == 0x7f) ? '_' : static_cast<char>(c);
    auto first = name.find_first_not_of(' ');
    auto last = name.find_last_not_of(' ');
    name = first == std::string::npos ? std::string() : name.substr(first, last - first + 1);
    if (name.size() > longestName) {
        std::size_t end = longestName;
        while (end > 0 && isContinuationByte(static_cast<unsigned char>(name[end])))
            --end;
        name.resize(end);
    }
    if (name == "." || name == "..")
        return std::string(name.size(), '_');
    return name;
}

std::string MountFolderName::forVolume(const std::string& label, const std::string& uuid, const std::string& deviceName)
{
    for (const auto* source : {&label, &uuid, &deviceName})
        if (auto name = sanitized(*source); !name.empty())
            return name;
    return "disk";
}

std::string MountFolderName::candidate(const std::string& base, unsigned n)
{
    return n <= 1 ? base : base + "-" + std::to_string(n);
}

std::string MountFolderName::firstFree(const std::string& base, const std::function<bool(const std::string&)>& taken,
                                       unsigned limit)
{
    for (unsigned n = 1; n <= limit; ++n)
        if (auto name = candidate(base, n); !taken(name))
            return name;
    return {};
}

}  // namespace ntfs
