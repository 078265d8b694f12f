#include "HelperTool/Platform/Linux/KmodKernelModules.h"

#include "HelperTool/Platform/Linux/KmodLibrary.h"
#include "HelperTool/Platform/Linux/ModuleBundle.h"

#include <cerrno>
#include <memory>

namespace ntfs {
namespace {

// Only called once the library is loaded: every object below comes from it.
const KmodLibrary& kmod() { return *KmodLibrary::instance(); }

struct ContextUnref {
    void operator()(kmod_ctx* ctx) const { kmod().unrefContext(ctx); }
};
struct ModuleUnref {
    void operator()(kmod_module* mod) const { kmod().moduleUnref(mod); }
};
struct ListUnref {
    void operator()(kmod_list* list) const { kmod().moduleUnrefList(list); }
};
struct InfoListFree {
    void operator()(kmod_list* list) const { kmod().moduleInfoFreeList(list); }
};
using Context = std::unique_ptr<kmod_ctx, ContextUnref>;
using Module = std::unique_ptr<kmod_module, ModuleUnref>;
using ModuleList = std::unique_ptr<kmod_list, ListUnref>;
using InfoList = std::unique_ptr<kmod_list, InfoListFree>;

constexpr unsigned probeFlags = KMOD_PROBE_FAIL_ON_LOADED | KMOD_PROBE_IGNORE_COMMAND;

Context newContext()
{
    Context ctx(kmod().newContext(nullptr, nullptr));
    if (ctx)
        kmod().loadResources(ctx.get());  // the indexes are optional: without them lookups read files
    return ctx;
}

// libkmod answers a negative errno, or a positive value when a blacklist or a command stopped it.
int errnoOf(int kmodResult)
{
    if (kmodResult < 0)
        return -kmodResult;
    return kmodResult == 0 ? 0 : EPERM;
}

int probeByName(kmod_ctx* ctx, const std::string& name)
{
    kmod_list* found = nullptr;
    int rc = kmod().moduleNewFromLookup(ctx, name.c_str(), &found);
    ModuleList list(found);
    if (rc < 0)
        return -rc;
    if (!list)
        return ENOENT;
    // An alias may name several modules; the first one that loads (or is loaded) is enough.
    int result = ENOENT;
    for (kmod_list* entry = list.get(); entry; entry = kmod().listNext(list.get(), entry)) {
        Module mod(kmod().moduleGetModule(entry));
        result = errnoOf(kmod().moduleProbeInsert(mod.get(), probeFlags, nullptr, nullptr, nullptr, nullptr));
        if (result == 0 || result == EEXIST)
            break;
    }
    return result;
}

// A module file given by path names its dependencies in its "depends" field; they come from the
// installed modules, as they would for a module loaded by name.
void loadDependencies(kmod_ctx* ctx, kmod_module* mod)
{
    kmod_list* raw = nullptr;
    if (kmod().moduleGetInfo(mod, &raw) < 0)
        return;
    InfoList info(raw);
    for (kmod_list* entry = info.get(); entry; entry = kmod().listNext(info.get(), entry)) {
        std::string_view key = kmod().moduleInfoGetKey(entry);
        if (key != "depends")
            continue;
        std::string depends = kmod().moduleInfoGetValue(entry);
        std::size_t start = 0;
        while (start < depends.size()) {
            std::size_t end = depends.find(',', start);
            if (end == std::string::npos)
                end = depends.size();
            if (end > start)
                probeByName(ctx, depends.substr(start, end - start));  // the insert below reports what is missing
            start = end + 1;
        }
    }
}

}  // namespace

int KmodKernelModules::loadAtPath(const std::string& path)
{
    int error = 0;
    auto file = ModuleBundle::moduleFile(path, error);
    if (error == ENOEXEC) {
        // A bundle that names a module of the kernel's own loads that one, as by name.
        std::string named = ModuleBundle::namedModule(path);
        if (!named.empty())
            return loadByName(named);
    }
    if (error != 0)
        return error;
    if (!KmodLibrary::instance())
        return ENOSYS;
    Context ctx = newContext();
    if (!ctx)
        return ENOMEM;
    kmod_module* raw = nullptr;
    int rc = kmod().moduleNewFromPath(ctx.get(), file.c_str(), &raw);
    if (rc < 0)
        return -rc;
    Module mod(raw);
    loadDependencies(ctx.get(), mod.get());
    return errnoOf(kmod().moduleInsert(mod.get(), 0, nullptr));
}

int KmodKernelModules::loadByName(const std::string& name)
{
    if (name.empty())
        return ENOENT;
    if (!KmodLibrary::instance())
        return ENOSYS;
    Context ctx = newContext();
    if (!ctx)
        return ENOMEM;
    return probeByName(ctx.get(), name);
}

}  // namespace ntfs
