#include "HelperTool/Operations/FileOperations.h"

#include "Common/FileUrl.h"
#include "Common/LogFormat.h"
#include "HelperTool/Operations/RequestError.h"

#include <algorithm>
#include <filesystem>

namespace ntfs {
namespace {

// A path that cannot be tested (empty, too long, in a folder we may not search) counts as absent.
bool exists(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

}  // namespace

FileOperations::FileOperations(FileViewer& viewer, Logger& logger) : viewer_(viewer), logger_(logger) {}

std::vector<std::string> FileOperations::existingPaths(const std::vector<std::string>& paths)
{
    std::vector<std::string> existing;
    std::copy_if(paths.begin(), paths.end(), std::back_inserter(existing), exists);
    return existing;
}

void FileOperations::reveal(const std::vector<std::string>& paths, const Caller& caller)
{
    logger_.log("revealFSDir Start");
    std::vector<std::string> uris;
    for (const auto& path : paths) {
        if (path.empty()) {
            logger_.log("revealFSDir: skipped an empty path");
            continue;
        }
        logger_.log(formatLog("Path: %@", std::string_view(path)));
        uris.push_back(FileUrl::fromPath(path));
    }
    auto outcome = viewer_.showItems(caller.uid, uris);
    if (!outcome.reached)
        logger_.log(formatLog("revealFSDir: no file manager could be reached: %@", std::string_view(outcome.problem)));
    logger_.log("revealFSDir End");
}

void FileOperations::addLink(const std::string& linkPath, const std::string& diskPath)
{
    if (linkPath.empty() || diskPath.empty())
        throw RequestError::invalidArgs("addLinkPath:forDiskPath: an empty path");
    if (!exists(diskPath))
        return;
    std::error_code ec;
    std::filesystem::create_symlink(diskPath, linkPath, ec);  // failures are not reported, by design
}

}  // namespace ntfs
