#pragma once

#include "Common/UniqueFd.h"
#include "HelperTool/CommandResult.h"
#include "HelperTool/Operations/Caller.h"
#include "HelperTool/Operations/RequestError.h"
#include "HelperTool/Service/BusEventLoop.h"
#include "HelperTool/Service/CallerGate.h"
#include "HelperTool/Service/HelperToolDependencies.h"
#include "HelperTool/Service/ReplyQueue.h"
#include "HelperTool/Service/ReplySlot.h"
#include "HelperTool/Service/RequestDispatcher.h"
#include "HelperToolProtocolAdaptor.h"

#include <sdbus-c++/sdbus-c++.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace ntfs {

// The helper's service object: exports the protocol on the bus, checks each caller, and runs
// each request on the dispatcher's workers, replying exactly once. Every call to the protocol is
// screened on the bus thread before its arguments are read: a refused caller, or one beyond its
// queue limits, is answered there at once.
class HelperTool final : public sdbus::AdaptorInterfaces<com::tarn::mac::utility::store::ntfs::HelperToolProtocol_adaptor> {
public:
    static constexpr const char* serviceName = "com.tarn.mac.utility.store.ntfs.HelperTool";
    static constexpr const char* objectPath = "/com/tarn/mac/utility/store/ntfs/HelperTool";

    // Exports the object on the connection (the listener); the name is not requested yet.
    HelperTool(sdbus::IConnection& listener, HelperToolDependencies dependencies);
    ~HelperTool();
    HelperTool(const HelperTool&) = delete;
    HelperTool& operator=(const HelperTool&) = delete;

    sdbus::IConnection& listener() const { return listener_; }
    // Takes the service name and serves until SIGTERM (Stopped) or a lost bus (Failed). On
    // SIGTERM the requests not yet started are answered with an error at once, and the running
    // ones are given until the dependencies' stop grace to end.
    BusEventLoop::Outcome run();
    // No request is running (false only when the stop grace ran out).
    bool idle() const { return dispatcher_.runningCount() == 0; }

    // Optional<string> as the wire carries it: zero elements for nil, one otherwise.
    static std::vector<std::string> wireText(const std::optional<std::string>& text);
    // A command result as the wire carries it: (as, i).
    static std::tuple<std::vector<std::string>, int32_t> textReply(const CommandResult& result);

private:
    using TextResult = sdbus::Result<std::vector<std::string>, int32_t>;

    void getVersionWithReply_(sdbus::Result<std::string>&& result) override;
    void loadInstalledKernelExtensionAtPath_reply_(sdbus::Result<uint64_t, int32_t>&& result, std::string path) override;
    void getLoadedKernelExtensionInfosWithBundleIdentifier_reply_(
        sdbus::Result<std::vector<std::map<std::string, std::map<std::string, sdbus::Variant>>>>&& result,
        std::string bundleIdentifier) override;
    void loadInstalledKernelExtensionWithBundleId_reply_(sdbus::Result<uint64_t, int32_t>&& result, std::string bundleIdentifier) override;
    void checkDiskWithExecutablePath_forDiskIdentifier_reply_(TextResult&& result, std::string executablePath,
                                                              std::string diskIdentifier) override;
    void formatNTFSDiskWithExecutablePath_forDiskIdentifier_newName_reply_(TextResult&& result, std::string executablePath,
                                                                           std::string diskIdentifier, std::string newName) override;
    void formatDiskWithExecutablePath_forDiskIdentifier_fileSystem_newName_hasLeaf_reply_(
        TextResult&& result, std::string executablePath, std::string diskIdentifier, int32_t fileSystem, std::string newName,
        bool hasLeaf) override;
    void uninstallKextAndFileSystem_andFileSytemBundlePath_reply_(sdbus::Result<int32_t>&& result, std::string kernelExtensionPath,
                                                                  std::string fileSystemBundlePath) override;
    void empiricalTestForFullDiskAccessWithCommand_withParams_reply_(sdbus::Result<bool>&& result, std::string commandPath,
                                                                     std::vector<std::string> parameters) override;
    void mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_(
        TextResult&& result, std::string executablePath, std::string diskIdentifier, std::string mountOptions,
        std::string mountPoint) override;
    void unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_(TextResult&& result, std::string executablePath,
                                                                       std::string diskIdentifier) override;
    void mountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_(TextResult&& result, std::string executablePath,
                                                                     std::string diskIdentifier) override;
    void renameUnmountedVolumeWithDiskUtilExecutablePath_forDiskIdentifier_toNewName_reply_(
        TextResult&& result, std::string executablePath, std::string diskIdentifier, std::string newName) override;
    void sysctlConfigureKextHibernateCheckWithValue_reply_(TextResult&& result, bool value) override;
    void getLatestDiskMountLogsWithReply_(TextResult&& result) override;
    void checkFilterInstalledFSDriversWithList_reply_(sdbus::Result<std::vector<std::string>>&& result,
                                                      std::vector<std::string> paths) override;
    void revealFSDir_(const std::vector<std::string>& paths) override;
    void addLinkPath_forDiskPath_(const std::string& linkPath, const std::string& diskPath) override;

    // Reads CFBundleVersion from the bundle information embedded in our executable.
    std::string bundleVersion() const;
    Caller currentCaller() const;
    void watchCallersLeaving();
    void installScreen();
    static int screen(sd_bus_message* message, void* self, sd_bus_error* error);
    int screenCall(sd_bus_message* message);
    int answerAtOnce(sd_bus_message* message, const char* name, const char* text);
    void finishRunning();
    std::optional<std::chrono::steady_clock::time_point> returnMemoryAfterFlood();

    // Runs `work(caller)` on a worker once the caller is admitted, and replies with what it
    // returns (a value, or a tuple for several), or with the error it raises.
    template <typename... Values, typename Work>
    void serve(sdbus::Result<Values...>&& result, Work work);
    template <typename Slot, typename Work>
    void runAndReply(Slot& slot, const Caller& caller, Work& work);
    void submit(const std::string& caller, std::function<void()> request);
    template <typename Work>
    void serveWithoutReply(const char* member, Work work);

    sdbus::IConnection& listener_;
    HelperToolDependencies dependencies_;
    UniqueFd executable_;  // kept open: the version is read from it on every call
    ReplyQueue replies_;  // outlives the dispatcher, whose dropped requests still reply
    CallerGate gate_;
    BusEventLoop loop_;
    RequestDispatcher dispatcher_;
    std::optional<sdbus::Slot> leavingCallers_;
    std::unique_ptr<sd_bus_slot, sd_bus_slot* (*)(sd_bus_slot*)> screen_{nullptr, sd_bus_slot_unref};
    bool stopping_ = false;
    // What the call let through last (the one being handled) may hold while it waits.
    std::size_t screenedBytes_ = 0;
    // When a call was last answered at once, unread, since memory last went back.
    std::optional<std::chrono::steady_clock::time_point> lastTurnedAway_;
};

}  // namespace ntfs
