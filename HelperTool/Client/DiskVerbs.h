#pragma once

#include "HelperTool/Client/HelperToolClient.h"
#include "HelperTool/Client/InstalledDriver.h"
#include "HelperTool/Client/PolkitTextAgent.h"
#include "HelperTool/Client/VolumeCatalog.h"

#include <memory>
#include <optional>
#include <string>

namespace ntfs {

// The everyday verbs of ntfs-helperctl: a device name in, the installed driver's tools named to
// the helper, and the result in words. Each returns the exit status (CliStatus or the tool's).
class DiskVerbs {
public:
    struct Options {
        bool json = false;
        bool readOnly = false;
        bool yes = false;
        bool userInteraction = true;
        std::string mountOptions;
        std::string tool;  // instead of the installed driver's
    };
    enum class FileSystem { Ntfs, Exfat };

    DiskVerbs(InstalledDriver driver, Options options) : driver_(std::move(driver)), options_(std::move(options)) {}

    int list();
    int mount(const std::string& device);
    int unmount(const std::string& deviceOrMountPoint);
    int check(const std::string& device);
    int rename(const std::string& device, const std::string& name);
    int format(const std::string& device, FileSystem fileSystem, const std::string& name);

    // The helper, reached once, with consent asked where the user is.
    HelperToolClient& helper();

private:
    std::string toolFor(InstalledDriver::Tool tool) const;
    std::optional<Volume> volume(const std::string& device) const;
    bool confirmErase(const Volume& volume) const;
    static int report(const CommandResult& result, bool dropTaggedLines = false);

    InstalledDriver driver_;
    Options options_;
    std::optional<PolkitTextAgent> agent_;
    std::unique_ptr<HelperToolClient> client_;
};

}  // namespace ntfs
