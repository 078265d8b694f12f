#include "HelperTool/Operations/KernelExtensionOperations.h"

#include "HelperTool/Operations/KextReturnCodes.h"
#include "HelperTool/Operations/RequestError.h"

#include <algorithm>
#include <cerrno>

namespace ntfs {
namespace {

std::string normalised(std::string name)
{
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

// /proc/modules says who uses a module; a module's dependencies are the modules it is a user of.
std::vector<std::string> dependenciesOf(const std::string& name, const std::vector<LoadedModule>& all)
{
    std::vector<std::string> dependencies;
    for (const auto& other : all) {
        if (std::find(other.usedBy.begin(), other.usedBy.end(), name) != other.usedBy.end())
            dependencies.push_back(other.name);
    }
    return dependencies;
}

KernelExtensionInfo infoOf(const std::string& identifier, const LoadedModule& module,
                           const std::vector<LoadedModule>& all)
{
    KernelExtensionInfo info;
    info["CFBundleIdentifier"] = identifier;
    if (module.version)
        info["CFBundleVersion"] = *module.version;
    info["OSBundleLoadSize"] = module.size;
    info["OSBundleLoadAddress"] = module.address;
    if (module.useCount)
        info["OSBundleRetainCount"] = *module.useCount;
    info["OSBundleDependencies"] = dependenciesOf(module.name, all);
    info["OSBundleStarted"] = module.state == "Live";
    return info;
}

}  // namespace

KernelExtensionOperations::KernelExtensionOperations(KernelModules& modules, LoadedModules& loaded)
    : modules_(modules), loaded_(loaded)
{
}

std::string KernelExtensionOperations::moduleNameOf(const std::string& identifier)
{
    auto dot = identifier.rfind('.');
    return dot == std::string::npos ? identifier : identifier.substr(dot + 1);
}

std::pair<std::uint64_t, std::int32_t> KernelExtensionOperations::replyFor(int linuxError)
{
    std::int32_t code = KextReturnCodes::fromLinuxError(linuxError);
    return {KextReturnCodes::loadResultOf(code), code};
}

std::pair<std::uint64_t, std::int32_t> KernelExtensionOperations::loadAtPath(const std::string& path)
{
    if (path.empty())
        throw RequestError::invalidArgs("loadInstalledKernelExtensionAtPath: the path is empty");
    return replyFor(modules_.loadAtPath(path));
}

std::pair<std::uint64_t, std::int32_t> KernelExtensionOperations::loadWithBundleIdentifier(const std::string& identifier)
{
    std::string name = moduleNameOf(identifier);
    return replyFor(name.empty() ? ENOENT : modules_.loadByName(name));
}

std::optional<KernelExtensionInfos> KernelExtensionOperations::loadedInfos(const std::string& identifier)
{
    auto all = loaded_.list();
    KernelExtensionInfos infos;
    if (identifier.empty()) {
        for (const auto& module : all)
            infos[module.name] = infoOf(module.name, module, all);
    } else {
        std::string wanted = normalised(moduleNameOf(identifier));
        auto found = std::find_if(all.begin(), all.end(), [&](const LoadedModule& m) { return normalised(m.name) == wanted; });
        if (found != all.end())
            infos[identifier] = infoOf(identifier, *found, all);
    }
    return infos;
}

}  // namespace ntfs
