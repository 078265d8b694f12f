#include "HelperTool/Platform/Linux/ProcKernelVariables.h"

#include "Common/UniqueFd.h"
#include "Driver/DriverVariableStore.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace ntfs {

ProcKernelVariables::ProcKernelVariables(std::filesystem::path root) : root_(std::move(root)) {}

std::filesystem::path ProcKernelVariables::fileOf(std::string_view name) const
{
    std::filesystem::path file = root_ / "proc/sys";
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = std::min(name.find('.', start), name.size());
        std::string_view part = name.substr(start, end - start);
        if (part.empty() || part.find('/') != std::string_view::npos)
            return {};
        file /= std::string(part);
        start = end + 1;
    }
    return file;
}

int ProcKernelVariables::write(std::string_view name, std::int64_t value)
{
    if (DriverVariableStore::holds(name))
        return DriverVariableStore(root_).write(name, value);
    auto file = fileOf(name);
    if (file.empty())
        return EINVAL;
    UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd)
        return errno;
    std::string text = std::to_string(value);
    ssize_t written;
    do
        written = ::write(fd.get(), text.data(), text.size());
    while (written < 0 && errno == EINTR);
    if (written < 0)
        return errno;
    // procfs takes a number in one write; anything less is a refusal.
    return static_cast<std::size_t>(written) == text.size() ? 0 : EIO;
}

}  // namespace ntfs
