#include "HelperTool/Platform/Linux/ProcLoadedModules.h"

#include "Common/UniqueFd.h"

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sstream>
#include <unistd.h>

namespace ntfs {
namespace {

template <typename Number>
bool parseNumber(const std::string& text, Number& value, int base = 10)
{
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (base == 16 && text.starts_with("0x"))
        begin += 2;
    auto [ptr, ec] = std::from_chars(begin, end, value, base);
    return ec == std::errc() && ptr == end;
}

std::vector<std::string> splitUsers(const std::string& field)
{
    std::vector<std::string> users;
    if (field == "-")
        return users;
    std::istringstream in(field);
    std::string user;
    while (std::getline(in, user, ','))
        if (!user.empty())
            users.push_back(user);
    return users;
}

// The whole of a small kernel file; procfs files report no size, so read until the end.
std::optional<std::string> readText(const std::filesystem::path& path)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(n));
    }
}

}  // namespace

ProcLoadedModules::ProcLoadedModules(std::filesystem::path root) : root_(std::move(root)) {}

std::optional<LoadedModule> ProcLoadedModules::parseLine(std::string_view line)
{
    std::istringstream in{std::string(line)};
    std::string name, size, useCount, users, state, address;
    if (!(in >> name >> size >> useCount >> users >> state >> address))
        return std::nullopt;
    LoadedModule module;
    module.name = name;
    if (!parseNumber(size, module.size) || !parseNumber(address, module.address, 16))
        return std::nullopt;
    std::int32_t count = 0;
    if (parseNumber(useCount, count))
        module.useCount = count;
    else if (useCount != "-")
        return std::nullopt;
    module.usedBy = splitUsers(users);
    module.state = state;
    return module;
}

std::vector<LoadedModule> ProcLoadedModules::list()
{
    std::vector<LoadedModule> modules;
    std::istringstream in(readText(root_ / "proc/modules").value_or(""));
    std::string line;
    while (std::getline(in, line)) {
        if (auto module = parseLine(line)) {
            module->version = versionOf(module->name);
            modules.push_back(std::move(*module));
        }
    }
    return modules;
}

std::optional<std::string> ProcLoadedModules::versionOf(const std::string& name) const
{
    auto text = readText(root_ / "sys/module" / name / "version");
    if (!text)
        return std::nullopt;
    std::string version = text->substr(0, text->find('\n'));
    if (version.empty())
        return std::nullopt;
    return version;
}

}  // namespace ntfs
