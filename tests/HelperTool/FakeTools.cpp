#include "tests/HelperTool/FakeTools.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace ntfs::test {

std::string FakeTools::script(const std::string& name, const std::string& body) const
{
    auto path = dir_ / name;
    std::ofstream(path, std::ios::binary | std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all | std::filesystem::perms::others_read
                                           | std::filesystem::perms::others_exec);
    return path.string();
}

std::string FakeTools::recorder(const std::string& name, const std::string& then) const
{
    return script(name, "printf '%s\\0' \"$0\" \"$@\" > '" + (dir_ / (name + ".argv")).string() + "'\n" + then);
}

std::vector<std::string> FakeTools::recorded(const std::string& name) const
{
    std::ifstream in(dir_ / (name + ".argv"), std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');)
        arguments.push_back(argument);
    return arguments;
}

}  // namespace ntfs::test
