#pragma once

#include <optional>
#include <string>

namespace ntfs {

// Whether a volume name may be written, decided before anything touches the device: the tools
// that write labels fail half-way through on names their file system cannot hold, or take a
// leading "-" for an option.
class VolumeLabel {
public:
    enum class FileSystem { Ntfs, Exfat, Fat, Ext };

    // Why the label is refused; nothing when it may be written.
    static std::optional<std::string> refusal(const std::string& label, FileSystem fileSystem);
    // The number of UTF-16 code units of valid UTF-8; nothing for anything else.
    static std::optional<std::size_t> utf16Length(const std::string& text);
};

}  // namespace ntfs
