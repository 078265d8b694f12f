#pragma once

#include "HelperTool/Platform/LoadedModules.h"

#include <filesystem>
#include <string_view>

namespace ntfs {

// Reads <root>/proc/modules and each module's <root>/sys/module/<name>/version. The root is "/"
// for the running system and a folder of fixture files in tests.
class ProcLoadedModules final : public LoadedModules {
public:
    explicit ProcLoadedModules(std::filesystem::path root = "/");

    std::vector<LoadedModule> list() override;

    // One line of /proc/modules: "name size refcount used,by, state address [(taints)]".
    static std::optional<LoadedModule> parseLine(std::string_view line);

private:
    std::optional<std::string> versionOf(const std::string& name) const;

    std::filesystem::path root_;
};

}  // namespace ntfs
