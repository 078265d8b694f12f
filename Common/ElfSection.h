#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ntfs {

// Reads one named section of an ELF file, as stored in the file (not as loaded), so that a
// section replaced with objcopy is seen as it now is.
class ElfSection {
public:
    static std::optional<std::string> read(const std::filesystem::path& file, std::string_view name);
    // The same from a descriptor kept open by the caller.
    static std::optional<std::string> read(int fd, std::string_view name);
};

}  // namespace ntfs
