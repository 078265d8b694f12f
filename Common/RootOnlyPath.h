#pragma once

#include <string>

namespace ntfs {

// Whether only root can change what lies at a real path (no link in it), or put something else
// in its place: it and every folder above it belong to root, and no one else may write them. A
// folder that others may write counts only when it is root's and sticky (like /tmp): in it, no
// one but root can remove or rename what root owns. What root runs or installs as root must pass.
class RootOnlyPath {
public:
    // A regular file; or, when folders are allowed, a folder whose whole content passes too.
    static bool holds(const std::string& realPath, bool allowFolders = false);
    // The file open at the descriptor is the one at the real path, and passes.
    static bool holdsOpenFile(int fd, const std::string& realPath);
    // The real path of an existing path, or empty.
    static std::string resolve(const std::string& path);
    static std::string folderOf(const std::string& path);

private:
    static bool foldersAboveHold(const std::string& realPath);
    static bool treeHolds(const std::string& realFolder);
};

}  // namespace ntfs
