#pragma once

#include "HelperTool/CommandResult.h"
#include "HelperToolProtocolProxy.h"

#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ntfs {

// Owns the client's connection. A proxy handed the connection would run an event-loop thread
// for it, and every blocking call would then wait for that thread; a proxy that only borrows it
// makes its calls directly.
class HelperToolConnection {
protected:
    explicit HelperToolConnection(std::unique_ptr<sdbus::IConnection> connection) : connection_(std::move(connection)) {}
    std::unique_ptr<sdbus::IConnection> connection_;
};

// A typed client of the helper: one call per message, with the wire's zero-or-one arrays turned
// back into optional values. Calls block until the reply, however long the helper's command runs
// (only the version gives up after a while); errors arrive as sdbus::Error.
class HelperToolClient final : private HelperToolConnection,
                               public sdbus::ProxyInterfaces<com::tarn::mac::utility::store::ntfs::HelperToolProtocol_proxy> {
public:
    using KextInfo = std::map<std::string, sdbus::Variant>;
    using KextInfos = std::map<std::string, KextInfo>;
    using KextLoad = std::pair<std::uint64_t, std::int32_t>;

    // On the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
    HelperToolClient();
    explicit HelperToolClient(std::unique_ptr<sdbus::IConnection> connection);
    ~HelperToolClient();
    HelperToolClient(const HelperToolClient&) = delete;
    HelperToolClient& operator=(const HelperToolClient&) = delete;

    // Our own unique name on the bus, as the helper sees us.
    std::string uniqueName() const { return getProxy().getConnection().getUniqueName(); }
    // Lets the helper have the caller asked for consent (by a polkit agent) on every later call.
    void allowInteractiveAuthorization();

    std::string getVersion();
    KextLoad loadInstalledKernelExtensionAtPath(const std::string& path);
    std::optional<KextInfos> getLoadedKernelExtensionInfos(const std::string& bundleIdentifier);
    KextLoad loadInstalledKernelExtensionWithBundleId(const std::string& bundleIdentifier);
    CommandResult checkDisk(const std::string& executablePath, const std::string& diskIdentifier);
    CommandResult formatNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier, const std::string& newName);
    CommandResult formatDisk(const std::string& executablePath, const std::string& diskIdentifier, std::int32_t fileSystem,
                             const std::string& newName, bool hasLeaf);
    std::int32_t uninstallKextAndFileSystem(const std::string& kernelExtensionPath, const std::string& fileSystemBundlePath);
    bool empiricalTestForFullDiskAccess(const std::string& commandPath, const std::vector<std::string>& parameters);
    CommandResult mountNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                const std::string& mountOptions, const std::string& mountPoint);
    CommandResult unmountDisk(const std::string& executablePath, const std::string& diskIdentifier);
    CommandResult mountDisk(const std::string& executablePath, const std::string& diskIdentifier);
    CommandResult renameUnmountedVolume(const std::string& executablePath, const std::string& diskIdentifier,
                                        const std::string& newName);
    CommandResult sysctlConfigureKextHibernateCheck(bool value);
    CommandResult getLatestDiskMountLogs();
    std::vector<std::string> checkFilterInstalledFSDrivers(const std::vector<std::string>& paths);
    // The two messages without reply return once the helper has handled them; a refused caller
    // gets the refusal as an sdbus::Error.
    void revealFSDir(const std::vector<std::string>& paths);
    void addLinkPath(const std::string& linkPath, const std::string& diskPath);

private:
    static CommandResult fromWire(const std::tuple<std::vector<std::string>, std::int32_t>& reply);
};

}  // namespace ntfs
