#include "HelperTool/Client/HelperToolClient.h"

#include <chrono>
#include <limits>
#include <systemd/sd-bus.h>

namespace ntfs {
namespace {

constexpr const char* serviceName = "com.tarn.mac.utility.store.ntfs.HelperTool";
constexpr const char* objectPath = "/com/tarn/mac/utility/store/ntfs/HelperTool";
constexpr auto quickReplyTimeout = std::chrono::seconds(25);

// sdbus-c++ keeps the underlying message to itself; any message made on the connection leads to the bus.
struct RawMessage : sdbus::Message {
    static sd_bus_message* of(const sdbus::Message& message) { return static_cast<sd_bus_message*>(message.*(&RawMessage::msg_)); }
};

}  // namespace

HelperToolClient::HelperToolClient() : HelperToolClient(sdbus::createSystemBusConnection()) {}

HelperToolClient::HelperToolClient(std::unique_ptr<sdbus::IConnection> connection)
    : HelperToolConnection(std::move(connection)), ProxyInterfaces(*connection_, serviceName, objectPath)
{
    // Checking or formatting a large disk takes as long as it takes, and the helper answers when
    // its command ends: no call gives up waiting for it, except the few quick ones below.
    connection_->setMethodCallTimeout(std::numeric_limits<std::uint64_t>::max());
    registerProxy();
}

HelperToolClient::~HelperToolClient() { unregisterProxy(); }

CommandResult HelperToolClient::fromWire(const std::tuple<std::vector<std::string>, std::int32_t>& reply)
{
    const auto& [text, status] = reply;
    return {text.empty() ? std::nullopt : std::optional<std::string>(text.front()), status};
}

void HelperToolClient::allowInteractiveAuthorization()
{
    auto message = getProxy().createMethodCall(INTERFACE_NAME, "getVersionWithReply_");
    sd_bus_set_allow_interactive_authorization(sd_bus_message_get_bus(RawMessage::of(message)), 1);
}

std::string HelperToolClient::getVersion()
{
    std::string version;
    getProxy().callMethod("getVersionWithReply_").onInterface(INTERFACE_NAME).withTimeout(quickReplyTimeout).storeResultsTo(version);
    return version;
}

HelperToolClient::KextLoad HelperToolClient::loadInstalledKernelExtensionAtPath(const std::string& path)
{
    auto [result, code] = loadInstalledKernelExtensionAtPath_reply_(path);
    return {result, code};
}

std::optional<HelperToolClient::KextInfos> HelperToolClient::getLoadedKernelExtensionInfos(const std::string& bundleIdentifier)
{
    auto reply = getLoadedKernelExtensionInfosWithBundleIdentifier_reply_(bundleIdentifier);
    if (reply.empty())
        return std::nullopt;
    KextInfos infos;
    for (auto& [identifier, info] : reply.front())
        infos.emplace(identifier, info);
    return infos;
}

HelperToolClient::KextLoad HelperToolClient::loadInstalledKernelExtensionWithBundleId(const std::string& bundleIdentifier)
{
    auto [result, code] = loadInstalledKernelExtensionWithBundleId_reply_(bundleIdentifier);
    return {result, code};
}

CommandResult HelperToolClient::checkDisk(const std::string& executablePath, const std::string& diskIdentifier)
{
    return fromWire(checkDiskWithExecutablePath_forDiskIdentifier_reply_(executablePath, diskIdentifier));
}

CommandResult HelperToolClient::formatNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                               const std::string& newName)
{
    return fromWire(formatNTFSDiskWithExecutablePath_forDiskIdentifier_newName_reply_(executablePath, diskIdentifier, newName));
}

CommandResult HelperToolClient::formatDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                           std::int32_t fileSystem, const std::string& newName, bool hasLeaf)
{
    return fromWire(formatDiskWithExecutablePath_forDiskIdentifier_fileSystem_newName_hasLeaf_reply_(
        executablePath, diskIdentifier, fileSystem, newName, hasLeaf));
}

std::int32_t HelperToolClient::uninstallKextAndFileSystem(const std::string& kernelExtensionPath,
                                                          const std::string& fileSystemBundlePath)
{
    return uninstallKextAndFileSystem_andFileSytemBundlePath_reply_(kernelExtensionPath, fileSystemBundlePath);
}

bool HelperToolClient::empiricalTestForFullDiskAccess(const std::string& commandPath, const std::vector<std::string>& parameters)
{
    return empiricalTestForFullDiskAccessWithCommand_withParams_reply_(commandPath, parameters);
}

CommandResult HelperToolClient::mountNTFSDisk(const std::string& executablePath, const std::string& diskIdentifier,
                                              const std::string& mountOptions, const std::string& mountPoint)
{
    return fromWire(mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_(
        executablePath, diskIdentifier, mountOptions, mountPoint));
}

CommandResult HelperToolClient::unmountDisk(const std::string& executablePath, const std::string& diskIdentifier)
{
    return fromWire(unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_(executablePath, diskIdentifier));
}

CommandResult HelperToolClient::mountDisk(const std::string& executablePath, const std::string& diskIdentifier)
{
    return fromWire(mountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_(executablePath, diskIdentifier));
}

CommandResult HelperToolClient::renameUnmountedVolume(const std::string& executablePath, const std::string& diskIdentifier,
                                                      const std::string& newName)
{
    return fromWire(
        renameUnmountedVolumeWithDiskUtilExecutablePath_forDiskIdentifier_toNewName_reply_(executablePath, diskIdentifier, newName));
}

CommandResult HelperToolClient::sysctlConfigureKextHibernateCheck(bool value)
{
    return fromWire(sysctlConfigureKextHibernateCheckWithValue_reply_(value));
}

CommandResult HelperToolClient::getLatestDiskMountLogs() { return fromWire(getLatestDiskMountLogsWithReply_()); }

std::vector<std::string> HelperToolClient::checkFilterInstalledFSDrivers(const std::vector<std::string>& paths)
{
    return checkFilterInstalledFSDriversWithList_reply_(paths);
}

// A message without reply is only sent, and a client that then leaves would be gone before the
// helper checked it. The helper runs one caller's messages in order, so the answer to a following
// round trip on the same connection says that the message was taken and done (or refused).
void HelperToolClient::revealFSDir(const std::vector<std::string>& paths)
{
    revealFSDir_(paths);
    getVersion();
}

void HelperToolClient::addLinkPath(const std::string& linkPath, const std::string& diskPath)
{
    addLinkPath_forDiskPath_(linkPath, diskPath);
    getVersion();
}

}  // namespace ntfs
