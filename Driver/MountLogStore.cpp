#include "Driver/MountLogStore.h"

#include "Driver/DriverStore.h"

#include <cerrno>

namespace ntfs {
namespace {

const std::string fileName = "mount-log";

}  // namespace

MountLogStore::MountLogStore(std::filesystem::path root) : root_(std::move(root)) {}

int MountLogStore::record(const MountLog& log) const
{
    int error = 0;
    UniqueFd folder = DriverStore::open(root_, "", true, error);
    if (!folder)
        return error;
    return DriverStore::replace(folder.get(), fileName, log.text());
}

std::optional<std::string> MountLogStore::latest(int& error) const
{
    UniqueFd folder = DriverStore::open(root_, "", false, error);
    std::optional<std::string> text;
    if (folder)
        text = DriverStore::read(folder.get(), fileName, error);
    if (!text && error == ENOENT) {
        error = 0;
        return std::string();
    }
    return text;
}

}  // namespace ntfs
