#include "Driver/MediaFolder.h"

#include "Common/MountFolderName.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <iterator>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <vector>

namespace ntfs {
namespace {

std::string userNameOf(uid_t uid)
{
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        throw MediaFolder::Refused("no user has the id " + std::to_string(uid));
    return found->pw_name;
}

[[noreturn]] void refuse(const std::string& what)
{
    throw MediaFolder::Refused(what + ": " + std::strerror(errno));
}

// The access ACL "u::rwx,u:<uid>:r-x,g::r-x,m::r-x,o::---" in the kernel's xattr layout; it sets
// the mode to 0750 as well.
void grantReadAndSearch(int folder, uid_t uid, const std::string& path)
{
    struct Entry {
        std::uint16_t tag, permissions;
        std::uint32_t id;
    };
    constexpr std::uint32_t undefinedId = 0xffffffff;
    struct {
        std::uint32_t version = 2;
        Entry entries[5];
    } acl{2, {{0x01, 7, undefinedId}, {0x02, 5, uid}, {0x04, 5, undefinedId}, {0x10, 5, undefinedId}, {0x20, 0, undefinedId}}};
    if (fsetxattr(folder, "system.posix_acl_access", &acl, sizeof acl, 0) != 0)
        refuse("cannot give the user access to " + path);
}

bool isEmptyFolder(int parent, const std::string& name)
{
    int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    bool empty = true;
    while (const dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            empty = false;
    closedir(dir);
    return empty;
}

}  // namespace

bool MediaFolder::covers(const std::string& mountPoint) const
{
    // /media/<name> alone is the disk utility's own folder for a volume mounted for nobody in particular.
    auto relative = std::filesystem::path(mountPoint).lexically_normal().lexically_relative(root_);
    return std::distance(relative.begin(), relative.end()) > 1 && *relative.begin() != "..";
}

uid_t MediaFolder::ownerIn(const std::string& options)
{
    std::string list = "," + options;
    auto at = list.rfind(",uid=");
    if (at == std::string::npos)
        return geteuid();
    try {
        return static_cast<uid_t>(std::stoul(list.substr(at + 5)));
    } catch (const std::exception&) {
        throw Refused("\"uid=" + list.substr(at + 5, list.find(',', at + 1) - at - 5) + "\" names no user");
    }
}

UniqueFd MediaFolder::userFolder(const std::string& user, uid_t uid) const
{
    UniqueFd root(open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!root || fstat(root.get(), &info) != 0)
        refuse("cannot open " + root_.string());
    if (info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)))
        throw Refused(root_.string() + " is not ours alone (owner or mode)");
    std::string path = (root_ / user).string();
    if (mkdirat(root.get(), user.c_str(), 0750) != 0 && errno != EEXIST)
        refuse("cannot make " + path);
    UniqueFd folder(openat(root.get(), user.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder || fstat(folder.get(), &info) != 0)
        refuse("cannot open " + path);
    if (info.st_uid != geteuid())
        throw Refused(path + " does not belong to us; it is left alone");
    grantReadAndSearch(folder.get(), uid, path);
    return folder;
}

MediaFolder::Claim::~Claim()
{
    if (made_ && folder_)
        unlinkat(folder_.get(), std::filesystem::path(path_).filename().c_str(), AT_REMOVEDIR);
}

bool MediaFolder::usable(int folder, const std::string& name, dev_t parentDevice, bool& made)
{
    made = mkdirat(folder, name.c_str(), 0700) == 0;
    if (made)
        return true;
    struct stat info {};
    // Something mounted on it has another device; anything in it is someone's.
    return errno == EEXIST && fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode) &&
           info.st_dev == parentDevice && isEmptyFolder(folder, name);
}

std::optional<MediaFolder::Claim> MediaFolder::claim(const std::string& mountPoint, uid_t uid, bool wait) const
{
    std::string user = userNameOf(uid);
    std::filesystem::path wanted(mountPoint);
    std::string name = wanted.filename().string();
    if (wanted != root_ / user / name || name.empty() || name == "." || name == ".." ||
        MountFolderName::forVolume(name, "", "") != name)
        throw Refused(mountPoint + " is not " + (root_ / user).string() + "/<name>");
    UniqueFd folder = userFolder(user, uid);
    if (flock(folder.get(), LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
        if (errno == EWOULDBLOCK)
            return std::nullopt;
        refuse("cannot lock " + (root_ / user).string());
    }
    struct stat info {};
    if (fstat(folder.get(), &info) != 0)
        refuse("cannot read " + (root_ / user).string());
    bool made = false;
    std::string chosen = MountFolderName::firstFree(name, [&](const std::string& candidate) {
        return !usable(folder.get(), candidate, info.st_dev, made);
    });
    if (chosen.empty())
        throw Refused("no free folder for " + mountPoint);
    return std::optional<Claim>(std::in_place, (root_ / user / chosen).string(), std::move(folder), made);
}

}  // namespace ntfs
