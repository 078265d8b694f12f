#include "Common/ElfSection.h"

#include "Common/UniqueFd.h"

#include <elf.h>
#include <fcntl.h>
#include <vector>

namespace ntfs {
namespace {

bool readAt(int fd, void* buffer, size_t size, off_t offset)
{
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        ssize_t n = pread(fd, bytes, size, offset);
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return true;
}

std::optional<std::string> readBytes(int fd, Elf64_Off offset, Elf64_Xword size)
{
    constexpr Elf64_Xword limit = 16 * 1024 * 1024;
    if (size > limit)
        return std::nullopt;
    std::string bytes(size, '\0');
    if (!readAt(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)))
        return std::nullopt;
    return bytes;
}

}  // namespace

std::optional<std::string> ElfSection::read(const std::filesystem::path& file, std::string_view name)
{
    UniqueFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    return fd ? read(fd.get(), name) : std::nullopt;
}

std::optional<std::string> ElfSection::read(int fd, std::string_view name)
{
    Elf64_Ehdr header;
    if (!readAt(fd, &header, sizeof header, 0))
        return std::nullopt;
    bool elf64 = header.e_ident[EI_MAG0] == ELFMAG0 && header.e_ident[EI_MAG1] == ELFMAG1
        && header.e_ident[EI_MAG2] == ELFMAG2 && header.e_ident[EI_MAG3] == ELFMAG3
        && header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_shentsize == sizeof(Elf64_Shdr);
    if (!elf64 || header.e_shstrndx >= header.e_shnum)
        return std::nullopt;

    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!readAt(fd, sections.data(), sections.size() * sizeof(Elf64_Shdr), static_cast<off_t>(header.e_shoff)))
        return std::nullopt;
    auto names = readBytes(fd, sections[header.e_shstrndx].sh_offset, sections[header.e_shstrndx].sh_size);
    if (!names)
        return std::nullopt;

    for (const auto& section : sections) {
        if (section.sh_name >= names->size() || section.sh_type == SHT_NOBITS)
            continue;
        if (std::string_view(names->c_str() + section.sh_name) == name)
            return readBytes(fd, section.sh_offset, section.sh_size);
    }
    return std::nullopt;
}

}  // namespace ntfs
