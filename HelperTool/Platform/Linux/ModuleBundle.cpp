#include "HelperTool/Platform/Linux/ModuleBundle.h"

#include <array>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>

namespace ntfs {
namespace {

// Deep enough for Contents/Linux/<arch>/module.ko, shallow enough that a wrong path given by a
// client (say "/") costs little.
constexpr int searchDepth = 4;

}  // namespace

bool ModuleBundle::isModuleFileName(const std::string& fileName)
{
    constexpr std::array<std::string_view, 4> endings{".ko", ".ko.xz", ".ko.zst", ".ko.gz"};
    for (auto ending : endings) {
        if (fileName.size() > ending.size() && fileName.ends_with(ending))
            return true;
    }
    return false;
}

std::string ModuleBundle::namedModule(const std::filesystem::path& bundle)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(bundle / "Contents/Linux", ec)) {
        if (entry.path().extension() != ".conf" || !entry.is_regular_file(ec))
            continue;
        std::ifstream conf(entry.path());
        std::string line;
        while (std::getline(conf, line)) {
            std::istringstream words(line);
            std::string keyword, name, module;
            if (words >> keyword >> name >> module && keyword == "alias")
                return module;
        }
    }
    return {};
}

std::filesystem::path ModuleBundle::moduleFile(const std::filesystem::path& path, int& error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (ec) {
        error = ec.value();
        return {};
    }
    error = 0;
    if (fs::is_regular_file(status))
        return path;
    // A pipe or a device would hold the load forever or feed it without end.
    if (!fs::is_directory(status)) {
        error = ENOEXEC;
        return {};
    }

    fs::path found;
    int count = 0;
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it.depth() >= searchDepth)
            it.disable_recursion_pending();
        if (it->is_regular_file(ec) && isModuleFileName(it->path().filename().string())) {
            found = it->path();
            if (++count > 1)
                break;
        }
    }
    if (ec) {
        error = ec.value();
        return {};
    }
    if (count != 1) {
        error = ENOEXEC;
        return {};
    }
    return found;
}

}  // namespace ntfs
