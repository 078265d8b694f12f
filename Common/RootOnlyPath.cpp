#include "Common/RootOnlyPath.h"

#include <cstdlib>
#include <ftw.h>
#include <memory>
#include <sys/stat.h>

namespace ntfs {
namespace {

bool rootOnly(const struct stat& info)
{
    if (info.st_uid != 0)
        return false;
    bool othersMayWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return !othersMayWrite || (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX));
}

}  // namespace

std::string RootOnlyPath::resolve(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

std::string RootOnlyPath::folderOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

bool RootOnlyPath::foldersAboveHold(const std::string& realPath)
{
    struct stat info {};
    for (std::string current = folderOf(realPath);; current = folderOf(current)) {
        if (lstat(current.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || !rootOnly(info))
            return false;
        if (current == "/")
            return true;
    }
}

bool RootOnlyPath::treeHolds(const std::string& realFolder)
{
    // Links inside are copied as links, so only their place, not their target, must be root's.
    constexpr int openFolders = 16;
    return nftw(
               realFolder.c_str(),
               [](const char*, const struct stat* info, int kind, struct FTW*) {
                   bool passes = kind == FTW_SL ? info->st_uid == 0 : (kind == FTW_F || kind == FTW_D) && rootOnly(*info);
                   return passes ? 0 : 1;
               },
               openFolders, FTW_PHYS) == 0;
}

bool RootOnlyPath::holds(const std::string& realPath, bool allowFolders)
{
    struct stat info {};
    if (realPath.empty() || realPath.front() != '/' || lstat(realPath.c_str(), &info) != 0 || !foldersAboveHold(realPath))
        return false;
    if (S_ISREG(info.st_mode))
        return rootOnly(info);
    return allowFolders && S_ISDIR(info.st_mode) && treeHolds(realPath);
}

bool RootOnlyPath::holdsOpenFile(int fd, const std::string& realPath)
{
    struct stat open {}, there {};
    return fstat(fd, &open) == 0 && lstat(realPath.c_str(), &there) == 0 && S_ISREG(open.st_mode) && open.st_dev == there.st_dev &&
           open.st_ino == there.st_ino && rootOnly(open) && foldersAboveHold(realPath);
}

}  // namespace ntfs
