#include "HelperTool/Platform/Linux/KmodLibrary.h"

#include <dlfcn.h>

namespace ntfs {
namespace {

template <typename Function>
bool resolve(void* handle, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(handle, name));
    return function != nullptr;
}

}  // namespace

const KmodLibrary* KmodLibrary::instance()
{
    static KmodLibrary library;
    static const bool loaded = library.load();
    return loaded ? &library : nullptr;
}

KmodLibrary::~KmodLibrary()
{
    if (handle_)
        dlclose(handle_);
}

bool KmodLibrary::load()
{
    handle_ = dlopen("libkmod.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        return false;
    return resolve(handle_, "kmod_new", newContext) && resolve(handle_, "kmod_unref", unrefContext)
        && resolve(handle_, "kmod_load_resources", loadResources)
        && resolve(handle_, "kmod_module_new_from_lookup", moduleNewFromLookup)
        && resolve(handle_, "kmod_module_new_from_path", moduleNewFromPath)
        && resolve(handle_, "kmod_module_get_module", moduleGetModule)
        && resolve(handle_, "kmod_module_unref", moduleUnref)
        && resolve(handle_, "kmod_module_unref_list", moduleUnrefList)
        && resolve(handle_, "kmod_module_probe_insert_module", moduleProbeInsert)
        && resolve(handle_, "kmod_module_insert_module", moduleInsert)
        && resolve(handle_, "kmod_module_get_info", moduleGetInfo)
        && resolve(handle_, "kmod_module_info_free_list", moduleInfoFreeList)
        && resolve(handle_, "kmod_module_info_get_key", moduleInfoGetKey)
        && resolve(handle_, "kmod_module_info_get_value", moduleInfoGetValue)
        && resolve(handle_, "kmod_list_next", listNext);
}

}  // namespace ntfs
