#include "Driver/DriverVariableStore.h"

#include "Driver/DriverStore.h"

#include <cerrno>
#include <charconv>
#include <string>

namespace ntfs {
namespace {

constexpr std::string_view prefix = "vfs.tarnntfs.";
constexpr std::string_view folderName = "config";
constexpr std::string_view hibernateCheckFile = "hibernate_check";

}  // namespace

DriverVariableStore::DriverVariableStore(std::filesystem::path root) : root_(std::move(root)) {}

bool DriverVariableStore::holds(std::string_view name)
{
    return name.starts_with(prefix);
}

int DriverVariableStore::write(std::string_view name, std::int64_t value) const
{
    if (name != hibernateCheck)
        return ENOENT;
    int error = 0;
    UniqueFd folder = DriverStore::open(root_, folderName, false, error);
    if (!folder)
        return error;
    return DriverStore::replace(folder.get(), std::string(hibernateCheckFile), std::to_string(value));
}

bool DriverVariableStore::hibernateCheckOn() const
{
    int error = 0;
    UniqueFd folder = DriverStore::open(root_, folderName, false, error);
    if (!folder)
        return true;
    auto text = DriverStore::read(folder.get(), std::string(hibernateCheckFile), error);
    if (!text)
        return true;
    std::int64_t value = 1;
    auto [end, failure] = std::from_chars(text->data(), text->data() + text->size(), value);
    bool whole = failure == std::errc() && (end == text->data() + text->size() || *end == '\n');
    return !whole || value != 0;
}

}  // namespace ntfs
