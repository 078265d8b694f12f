#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace ntfs::test {

// Everything below a folder, for comparing two states of it: per relative path its type, its
// permission bits and its content (a file's bytes, a link's target).
class TreeSnapshot {
public:
    struct Entry {
        char type;  // 'f' file, 'd' folder, 'l' link
        unsigned mode;
        std::string content;
        bool operator==(const Entry&) const = default;
    };

    static TreeSnapshot of(const std::filesystem::path& root);

    const std::map<std::string, Entry>& entries() const { return entries_; }
    // The relative paths of everything that is not a folder.
    std::vector<std::string> nonFolders() const;
    bool operator==(const TreeSnapshot&) const = default;

private:
    std::map<std::string, Entry> entries_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content, unsigned mode = 0644);

}  // namespace ntfs::test
