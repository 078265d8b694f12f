#pragma once

#include <libkmod.h>

namespace ntfs {

// libkmod, loaded the first time a module is to be loaded rather than at start: it brings a
// cryptography library with it, and most runs of the helper never load a module, so the helper
// stays small while it waits.
class KmodLibrary {
public:
    // Null when libkmod cannot be loaded here.
    static const KmodLibrary* instance();

    KmodLibrary(const KmodLibrary&) = delete;
    KmodLibrary& operator=(const KmodLibrary&) = delete;
    ~KmodLibrary();

    decltype(&::kmod_new) newContext = nullptr;
    decltype(&::kmod_unref) unrefContext = nullptr;
    decltype(&::kmod_load_resources) loadResources = nullptr;
    decltype(&::kmod_module_new_from_lookup) moduleNewFromLookup = nullptr;
    decltype(&::kmod_module_new_from_path) moduleNewFromPath = nullptr;
    decltype(&::kmod_module_get_module) moduleGetModule = nullptr;
    decltype(&::kmod_module_unref) moduleUnref = nullptr;
    decltype(&::kmod_module_unref_list) moduleUnrefList = nullptr;
    decltype(&::kmod_module_probe_insert_module) moduleProbeInsert = nullptr;
    decltype(&::kmod_module_insert_module) moduleInsert = nullptr;
    decltype(&::kmod_module_get_info) moduleGetInfo = nullptr;
    decltype(&::kmod_module_info_free_list) moduleInfoFreeList = nullptr;
    decltype(&::kmod_module_info_get_key) moduleInfoGetKey = nullptr;
    decltype(&::kmod_module_info_get_value) moduleInfoGetValue = nullptr;
    decltype(&::kmod_list_next) listNext = nullptr;

private:
    KmodLibrary() = default;
    bool load();

    void* handle_ = nullptr;
};

}  // namespace ntfs
