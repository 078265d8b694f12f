#include "Driver/DriverStore.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs {
namespace {

constexpr mode_t rootOnlyFolder = 0700;
constexpr mode_t rootOnlyFile = 0600;

UniqueFd openFolderAt(int parent, const char* name, bool create, int& error)
{
    if (create && ::mkdirat(parent, name, rootOnlyFolder) != 0 && errno != EEXIST) {
        error = errno;
        return {};
    }
    UniqueFd fd(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        error = errno == ELOOP ? ENOTDIR : errno;
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        error = errno;
        return {};
    }
    if (st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        error = EPERM;
        return {};
    }
    error = 0;
    return fd;
}

int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

}  // namespace

std::filesystem::path DriverStore::folder(const std::filesystem::path& root)
{
    return root / "run/tarn_ntfs";
}

UniqueFd DriverStore::open(const std::filesystem::path& root, std::string_view sub, bool create, int& error)
{
    // /run itself is the system's; only the store's own folders are made and checked.
    UniqueFd run(::open((root / "run").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!run) {
        error = errno;
        return {};
    }
    UniqueFd store = openFolderAt(run.get(), "tarn_ntfs", create, error);
    if (!store || sub.empty())
        return store;
    return openFolderAt(store.get(), std::string(sub).c_str(), create, error);
}

int DriverStore::replace(int folderFd, const std::string& name, std::string_view bytes)
{
    static std::atomic<unsigned> serial{0};
    std::string temporary = "." + name + ".new." + std::to_string(::getpid()) + "." + std::to_string(serial++);
    UniqueFd file(::openat(folderFd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, rootOnlyFile));
    if (!file)
        return errno;
    int error = writeAll(file.get(), bytes);
    file.reset();
    if (error == 0 && ::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlinkat(folderFd, temporary.c_str(), 0);
    return error;
}

std::optional<std::string> DriverStore::read(int folderFd, const std::string& name, int& error)
{
    UniqueFd file(::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!file) {
        error = errno;
        return std::nullopt;
    }
    std::string bytes;
    char chunk[4096];
    for (;;) {
        ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            return std::nullopt;
        }
        if (got == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    error = 0;
    return bytes;
}

}  // namespace ntfs
