#include "FakeTools.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace ntfs::test {

std::string FakeTools::script(const std::string& name, const std::string& body) const
{
    auto path = dir_ / name;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "#!/bin/sh\n" << body << "\n";
    }
    std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                           std::filesystem::perms::others_exec);
    return path.string();
}

std::string FakeTools::recorder(const std::string& name, const std::string& then) const
{
    auto record = (dir_ / (name + ".argv")).string();
    return script(name, "printf '%s\\0' \"$0\" \"$@\" > '" + record + "'\n" + then);
}

std::vector<std::string> FakeTools::recorded(const std::string& name) const
{
    std::ifstream in(dir_ / (name + ".argv"), std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> arguments;
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find('\0', start);
        arguments.push_back(all.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

}  // namespace ntfs::test
