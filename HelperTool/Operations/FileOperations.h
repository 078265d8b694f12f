#pragma once

#include "Common/Logger.h"
#include "HelperTool/Operations/Caller.h"
#include "HelperTool/Platform/FileViewer.h"

#include <string>
#include <vector>

namespace ntfs {

// Small jobs on files: which paths exist, showing paths in the caller's file manager, a link.
// They report no failures; a path that cannot be tested counts as absent. An empty path is refused.
class FileOperations {
public:
    FileOperations(FileViewer& viewer, Logger& logger);

    // The paths that exist, in list order, repeats kept.
    std::vector<std::string> existingPaths(const std::vector<std::string>& paths);

    // Shows the paths in the caller's file manager, whether they exist or not.
    void reveal(const std::vector<std::string>& paths, const Caller& caller);

    // A symbolic link at `linkPath` to `diskPath`, made only when the disk path exists; whatever
    // is at the link path already stays as it is.
    void addLink(const std::string& linkPath, const std::string& diskPath);

private:
    FileViewer& viewer_;
    Logger& logger_;
};

}  // namespace ntfs
