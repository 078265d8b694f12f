#include "TreeSnapshot.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ntfs::test {

namespace fs = std::filesystem;

TreeSnapshot TreeSnapshot::of(const fs::path& root)
{
    TreeSnapshot snapshot;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        auto status = item.symlink_status();
        Entry entry{'f', static_cast<unsigned>(status.permissions() & fs::perms::mask), {}};
        if (fs::is_symlink(status))
            entry = {'l', 0, fs::read_symlink(item.path()).string()};
        else if (fs::is_directory(status))
            entry.type = 'd';
        else
            entry.content = readFile(item.path());
        snapshot.entries_.emplace(fs::relative(item.path(), root).string(), std::move(entry));
    }
    return snapshot;
}

std::vector<std::string> TreeSnapshot::nonFolders() const
{
    std::vector<std::string> paths;
    for (const auto& [path, entry] : entries_) {
        if (entry.type != 'd')
            paths.push_back(path);
    }
    return paths;
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const fs::path& path, const std::string& content, unsigned mode)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, static_cast<fs::perms>(mode));
}

}  // namespace ntfs::test
