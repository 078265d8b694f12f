#include "Driver/VolumeLabel.h"

#include <array>

namespace ntfs {
namespace {

struct Limit {
    const char* fileSystem;
    std::size_t units;
    bool inBytes;  // the tool counts bytes, not UTF-16 units
};

constexpr std::array<Limit, 4> limits{{{"NTFS", 128, false}, {"exFAT", 11, false}, {"FAT", 11, true}, {"ext", 16, true}}};

}  // namespace

std::optional<std::size_t> VolumeLabel::utf16Length(const std::string& text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80 ? 1 : (byte >> 5) == 0x6 ? 2 : (byte >> 4) == 0xE ? 3 : (byte >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return std::nullopt;
        char32_t code = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next >> 6) != 0x2)
                return std::nullopt;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::array<char32_t, 5> smallest{0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return std::nullopt;  // overlong, beyond Unicode, or a lone surrogate
        units += code >= 0x10000 ? 2 : 1;
        i += length;
    }
    return units;
}

std::optional<std::string> VolumeLabel::refusal(const std::string& label, FileSystem fileSystem)
{
    auto units = utf16Length(label);
    if (!units)
        return std::string("the name is not valid UTF-8");
    if (!label.empty() && label.front() == '-')
        return "the name \"" + label + "\" begins with \"-\"";
    const Limit& limit = limits[static_cast<std::size_t>(fileSystem)];
    std::size_t length = limit.inBytes ? label.size() : *units;
    if (length > limit.units)
        return std::string("the name is too long for ") + limit.fileSystem + ": " + std::to_string(length) + " " +
               (limit.inBytes ? "bytes" : "characters") + ", at most " + std::to_string(limit.units);
    return std::nullopt;
}

}  // namespace ntfs
