#include "HelperTool/Service/HelperTool.h"

#include "Common/ElfSection.h"
#include "Common/LogFormat.h"
#include "HelperTool/Registration/PropertyList.h"
#include "HelperTool/Registration/RegistrationFiles.h"

#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>

#include <tuple>
#include <type_traits>

namespace ntfs {
namespace {

constexpr const char* accessDenied = "org.freedesktop.DBus.Error.AccessDenied";
constexpr const char* failed = "org.freedesktop.DBus.Error.Failed";
constexpr const char* invalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr const char* limitsExceeded = "org.freedesktop.DBus.Error.LimitsExceeded";
constexpr const char* notAuthorized = "The caller is not authorized to use the helper";
constexpr auto floodSettleTime = std::chrono::milliseconds(500);
// No path, identifier, name or option string of the protocol comes near these.
constexpr std::size_t textLimit = 64 * 1024;
constexpr std::size_t listLimit = 1024 * 1024;
// What a waiting request costs besides its arguments: the message, the reply slot, the closures.
constexpr std::size_t requestOverhead = 1024;

// sdbus-c++ keeps the underlying message to itself; its flags are read through it.
struct RawMessage : sdbus::Message {
    static sd_bus_message* of(const sdbus::Message& message)
    {
        return static_cast<sd_bus_message*>(message.*(&RawMessage::msg_));
    }
};

// The module information as the wire carries it: no element for none, else one dictionary.
std::vector<std::map<std::string, std::map<std::string, sdbus::Variant>>> wireInfos(const std::optional<KernelExtensionInfos>& infos)
{
    std::vector<std::map<std::string, std::map<std::string, sdbus::Variant>>> wire;
    if (!infos)
        return wire;
    auto& byIdentifier = wire.emplace_back();
    for (const auto& [identifier, info] : *infos) {
        auto& values = byIdentifier[identifier];
        for (const auto& [key, value] : info)
            values.emplace(key, std::visit([](const auto& v) { return sdbus::Variant(v); }, value));
    }
    return wire;
}

// The bytes of a call's text arguments, read in place (nothing is copied), or nothing when one is
// beyond its limit or of a type the protocol does not use. Leaves the message to be read again.
std::optional<std::size_t> argumentBytes(sd_bus_message* message)
{
    std::size_t total = 0;
    bool acceptable = true;
    char type = 0;
    const char* contents = nullptr;
    while (acceptable && sd_bus_message_peek_type(message, &type, &contents) > 0) {
        const char* text = nullptr;
        if (type == SD_BUS_TYPE_STRING || type == SD_BUS_TYPE_OBJECT_PATH) {
            acceptable = sd_bus_message_read_basic(message, type, &text) > 0 && std::strlen(text) <= textLimit;
            total += acceptable ? std::strlen(text) : 0;
        } else if (type == SD_BUS_TYPE_ARRAY && std::strcmp(contents, "s") == 0) {
            std::size_t list = 0;
            sd_bus_message_enter_container(message, type, contents);
            while (list <= listLimit && sd_bus_message_read_basic(message, SD_BUS_TYPE_STRING, &text) > 0)
                list += std::strlen(text) + 1;
            sd_bus_message_exit_container(message);
            acceptable = list <= listLimit;
            total += list;
        } else {
            acceptable = type != SD_BUS_TYPE_ARRAY && sd_bus_message_skip(message, std::string(1, type).c_str()) >= 0;
        }
    }
    sd_bus_message_rewind(message, true);
    return acceptable ? std::optional(total) : std::nullopt;
}

template <typename T>
struct IsTuple : std::false_type {};
template <typename... T>
struct IsTuple<std::tuple<T...>> : std::true_type {};

}  // namespace

HelperTool::HelperTool(sdbus::IConnection& listener, HelperToolDependencies dependencies)
    : AdaptorInterfaces(listener, objectPath),
      listener_(listener),
      dependencies_(std::move(dependencies)),
      executable_(open(dependencies_.executable.c_str(), O_RDONLY | O_CLOEXEC)),
      gate_(dependencies_.authority, RegistrationFiles::polkitAction, dependencies_.log),
      loop_(listener, replies_)
{
    registerAdaptor();
    installScreen();
    loop_.whenQuiet([this] { return returnMemoryAfterFlood(); });
}

HelperTool::~HelperTool() { unregisterAdaptor(); }

BusEventLoop::Outcome HelperTool::run()
{
    watchCallersLeaving();
    listener_.requestName(serviceName);
    sd_notify(0, "READY=1");  // for the service manager, and for tests that start us
    auto outcome = loop_.run();
    if (outcome == BusEventLoop::Outcome::Stopped)
        finishRunning();
    return outcome;
}

void HelperTool::installScreen()
{
    // sdbus-c++ keeps its bus to itself; any message made on the connection leads to it. A filter
    // sees each incoming message before the object's handlers read its arguments.
    auto probe = getObject().createSignal(INTERFACE_NAME, "Probe");
    sd_bus* bus = sd_bus_message_get_bus(RawMessage::of(probe));
    sd_bus_slot* slot = nullptr;
    int r = bus ? sd_bus_add_filter(bus, &slot, &HelperTool::screen, this) : -EINVAL;
    if (r < 0)
        throw std::system_error(-r, std::generic_category(), "sd_bus_add_filter");
    screen_.reset(slot);
}

int HelperTool::screen(sd_bus_message* message, void* self, sd_bus_error*)
{
    try {
        return static_cast<HelperTool*>(self)->screenCall(message);
    } catch (...) {
        return 0;  // let the message through: its handler answers it
    }
}

int HelperTool::screenCall(sd_bus_message* message)
{
    const char* interface = sd_bus_message_get_interface(message);
    const char* sender = sd_bus_message_get_sender(message);
    if (sd_bus_message_is_method_call(message, nullptr, nullptr) <= 0 || !interface || !sender ||
        std::strcmp(interface, INTERFACE_NAME) != 0)
        return 0;
    if (stopping_)
        return answerAtOnce(message, failed, "The helper is stopping");
    auto standing = gate_.standing(sender, sd_bus_message_get_allow_interactive_authorization(message) > 0);
    if (standing == CallerGate::Standing::Refused)
        return answerAtOnce(message, accessDenied, notAuthorized);
    auto bytes = argumentBytes(message);
    if (!bytes)
        return answerAtOnce(message, invalidArgs, "An argument is too long (at most 64 KiB for a text, 1 MiB for a list) or of a type the helper does not take");
    screenedBytes_ = *bytes + requestOverhead;
    if (standing == CallerGate::Standing::Admitted) {
        if (dispatcher_.hasRoomFor(sender))
            return 0;
        return answerAtOnce(message, limitsExceeded, "Too many requests of this caller are waiting");
    }
    if (gate_.hasRoomFor(sender, screenedBytes_))
        return 0;
    return answerAtOnce(message, limitsExceeded, "Too many requests are waiting for the caller check");
}

int HelperTool::answerAtOnce(sd_bus_message* message, const char* name, const char* text)
{
    lastTurnedAway_ = std::chrono::steady_clock::now();
    if (!sd_bus_message_get_expect_reply(message)) {
        dependencies_.log.log(formatLog("%@ from %@ was not served: %@", sd_bus_message_get_member(message),
                                        sd_bus_message_get_sender(message), text));
        return 1;
    }
    sd_bus_reply_method_errorf(message, name, "%s", text);
    return 1;
}

void HelperTool::finishRunning()
{
    sd_notify(0, "STOPPING=1");
    stopping_ = true;
    gate_.dropWaiting();  // each dropped request answers its caller as it goes
    dispatcher_.stop([this] { replies_.post([] {}); });
    auto deadline = std::chrono::steady_clock::now() + dependencies_.stopGrace;
    if (!loop_.runUntil([this] { return idle(); }, deadline))
        dependencies_.log.log(formatLog("Stopping with %d requests still running", static_cast<long long>(dispatcher_.runningCount())));
}

std::optional<std::chrono::steady_clock::time_point> HelperTool::returnMemoryAfterFlood()
{
    // What a flood of refused calls (each read in full) left in the allocator's free lists goes
    // back to the system once the flood has been over for a moment and nothing waits. Not before:
    // trimming locks the allocator, which the workers of admitted callers need meanwhile.
    if (!lastTurnedAway_)
        return std::nullopt;
    auto now = std::chrono::steady_clock::now();
    if (now < *lastTurnedAway_ + floodSettleTime)
        return *lastTurnedAway_ + floodSettleTime;
    if (gate_.waitingCount() > 0 || !dispatcher_.isIdle())
        return now + floodSettleTime;
    lastTurnedAway_.reset();
    malloc_trim(0);
    return std::nullopt;
}

std::vector<std::string> HelperTool::wireText(const std::optional<std::string>& text)
{
    return text ? std::vector<std::string>{*text} : std::vector<std::string>{};
}

std::tuple<std::vector<std::string>, int32_t> HelperTool::textReply(const CommandResult& result)
{
    return {wireText(result.text), result.status};
}

void HelperTool::watchCallersLeaving()
{
    leavingCallers_ = listener_.addMatch(
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',member='NameOwnerChanged'",
        [this](sdbus::Message& signal) {
            std::string name, oldOwner, newOwner;
            signal >> name >> oldOwner >> newOwner;
            if (newOwner.empty())
                gate_.forget(name);
        });
}

Caller HelperTool::currentCaller() const
{
    Caller caller;
    if (const sdbus::Message* message = getObject().getCurrentlyProcessedMessage()) {
        caller.busName = message->getSender();
        caller.allowsInteraction = sd_bus_message_get_allow_interactive_authorization(RawMessage::of(*message)) > 0;
    }
    return caller;
}

std::string HelperTool::bundleVersion() const
{
    auto section = executable_ ? ElfSection::read(executable_.get(), "__info_plist") : std::nullopt;
    auto info = section ? PropertyList::fromXml(*section) : std::nullopt;
    auto version = info ? info->string("CFBundleVersion") : std::nullopt;
    if (!version)
        throw std::runtime_error("The helper's embedded bundle information has no CFBundleVersion");
    return *version;
}

void HelperTool::submit(const std::string& caller, std::function<void()> request)
{
    // Nothing may escape into the bus library, which would end the process. A request that
    // cannot be queued (no thread to be had) is dropped, and its reply slot answers with an error.
    try {
        dispatcher_.submit(caller, std::move(request));
    } catch (const std::exception& e) {
        dependencies_.log.log(formatLog("Could not queue a request from %@: %@", caller, e.what()));
    }
}

template <typename... Values, typename Work>
void HelperTool::serve(sdbus::Result<Values...>&& result, Work work)
{
    auto slot = std::make_shared<ReplySlot<Values...>>(std::move(result), replies_);
    Caller caller = currentCaller();
    gate_.decide(caller, screenedBytes_, [this, slot, caller, work = std::move(work)](CallerGate::Verdict verdict, uid_t uid) mutable {
        if (verdict == CallerGate::Verdict::Busy)
            return slot->fail(limitsExceeded, "Too many callers of this user are waiting for authorization");
        if (verdict != CallerGate::Verdict::Admitted)
            return slot->fail(accessDenied, notAuthorized);
        caller.uid = uid;
        submit(caller.busName, [this, slot, caller, work = std::move(work)]() mutable { runAndReply(*slot, caller, work); });
    });
}

template <typename Slot, typename Work>
void HelperTool::runAndReply(Slot& slot, const Caller& caller, Work& work)
{
    try {
        auto values = work(caller);
        if constexpr (IsTuple<decltype(values)>::value)
            std::apply([&](auto&... v) { slot.reply(std::move(v)...); }, values);
        else
            slot.reply(std::move(values));
    } catch (const RequestError& e) {
        slot.fail(e.name(), e.what());
    } catch (const std::exception& e) {
        dependencies_.log.log(formatLog("Request failed: %@", e.what()));
        slot.fail(failed, e.what());
    } catch (...) {
        slot.fail(failed, "The request failed");
    }
}

template <typename Work>
void HelperTool::serveWithoutReply(const char* member, Work work)
{
    Caller caller = currentCaller();
    gate_.decide(caller, screenedBytes_, [this, member, caller, work = std::move(work)](CallerGate::Verdict verdict, uid_t uid) mutable {
        if (verdict == CallerGate::Verdict::Gone)
            dependencies_.log.log(formatLog("%@ from %@ was not served: the sender left before it could be checked", member, caller.busName));
        if (verdict != CallerGate::Verdict::Admitted)
            return;
        caller.uid = uid;
        submit(caller.busName, [this, member, caller, work = std::move(work)]() mutable {
            try {
                work(std::as_const(caller));
            } catch (const std::exception& e) {
                dependencies_.log.log(formatLog("%@ failed: %@", member, e.what()));
            } catch (...) {
                dependencies_.log.log(formatLog("%@ failed", member));
            }
        });
    });
}

void HelperTool::getVersionWithReply_(sdbus::Result<std::string>&& result)
{
    // Reading the version takes microseconds and never blocks, so an admitted caller with
    // nothing else pending is answered right here rather than through a worker.
    Caller caller = currentCaller();
    if (!gate_.isAdmitted(caller) || !dispatcher_.isIdle(caller.busName))
        return serve(std::move(result), [this](const Caller&) { return bundleVersion(); });
    try {
        result.returnResults(bundleVersion());
    } catch (const std::exception& e) {
        result.returnError(sdbus::Error(failed, e.what()));
    }
}

void HelperTool::loadInstalledKernelExtensionAtPath_reply_(sdbus::Result<uint64_t, int32_t>&& result, std::string path)
{
    serve(std::move(result), [this, path = std::move(path)](const Caller&) {
        return std::tuple(dependencies_.kernelExtensions.loadAtPath(path));
    });
}

void HelperTool::getLoadedKernelExtensionInfosWithBundleIdentifier_reply_(
    sdbus::Result<std::vector<std::map<std::string, std::map<std::string, sdbus::Variant>>>>&& result, std::string bundleIdentifier)
{
    serve(std::move(result), [this, bundleIdentifier = std::move(bundleIdentifier)](const Caller&) {
        return wireInfos(dependencies_.kernelExtensions.loadedInfos(bundleIdentifier));
    });
}

void HelperTool::loadInstalledKernelExtensionWithBundleId_reply_(sdbus::Result<uint64_t, int32_t>&& result, std::string bundleIdentifier)
{
    serve(std::move(result), [this, bundleIdentifier = std::move(bundleIdentifier)](const Caller&) {
        return std::tuple(dependencies_.kernelExtensions.loadWithBundleIdentifier(bundleIdentifier));
    });
}

void HelperTool::checkDiskWithExecutablePath_forDiskIdentifier_reply_(TextResult&& result, std::string executablePath,
                                                                      std::string diskIdentifier)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier)](const Caller&) {
        return textReply(dependencies_.diskCommands.checkDisk(executablePath, diskIdentifier));
    });
}

void HelperTool::formatNTFSDiskWithExecutablePath_forDiskIdentifier_newName_reply_(TextResult&& result, std::string executablePath,
                                                                                   std::string diskIdentifier, std::string newName)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier),
                              newName = std::move(newName)](const Caller&) {
        return textReply(dependencies_.diskCommands.formatNTFSDisk(executablePath, diskIdentifier, newName));
    });
}

void HelperTool::formatDiskWithExecutablePath_forDiskIdentifier_fileSystem_newName_hasLeaf_reply_(
    TextResult&& result, std::string executablePath, std::string diskIdentifier, int32_t fileSystem, std::string newName, bool hasLeaf)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier), fileSystem,
                              newName = std::move(newName), hasLeaf](const Caller&) {
        return textReply(dependencies_.diskCommands.formatDisk(executablePath, diskIdentifier, fileSystem, newName, hasLeaf));
    });
}

void HelperTool::uninstallKextAndFileSystem_andFileSytemBundlePath_reply_(sdbus::Result<int32_t>&& result,
                                                                          std::string kernelExtensionPath,
                                                                          std::string fileSystemBundlePath)
{
    serve(std::move(result), [this, kernelExtensionPath = std::move(kernelExtensionPath),
                              fileSystemBundlePath = std::move(fileSystemBundlePath)](const Caller&) {
        return dependencies_.diskCommands.uninstallKextAndFileSystem(kernelExtensionPath, fileSystemBundlePath);
    });
}

void HelperTool::empiricalTestForFullDiskAccessWithCommand_withParams_reply_(sdbus::Result<bool>&& result, std::string commandPath,
                                                                             std::vector<std::string> parameters)
{
    serve(std::move(result), [this, commandPath = std::move(commandPath), parameters = std::move(parameters)](const Caller&) {
        return dependencies_.diskCommands.empiricalTestForFullDiskAccess(commandPath, parameters);
    });
}

void HelperTool::mountDiskWithMountNTFSExecutablePath_forDiskIdentifier_withMountOptions_atMountPoint_reply_(
    TextResult&& result, std::string executablePath, std::string diskIdentifier, std::string mountOptions, std::string mountPoint)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier),
                              mountOptions = std::move(mountOptions), mountPoint = std::move(mountPoint)](const Caller&) {
        return textReply(dependencies_.diskCommands.mountNTFSDisk(executablePath, diskIdentifier, mountOptions, mountPoint));
    });
}

void HelperTool::unmountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_(TextResult&& result, std::string executablePath,
                                                                               std::string diskIdentifier)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier)](const Caller&) {
        return textReply(dependencies_.diskCommands.unmountDisk(executablePath, diskIdentifier));
    });
}

void HelperTool::mountDiskWithDiskUtilExecutablePath_forDiskIdentifier_reply_(TextResult&& result, std::string executablePath,
                                                                             std::string diskIdentifier)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier)](const Caller&) {
        return textReply(dependencies_.diskCommands.mountDisk(executablePath, diskIdentifier));
    });
}

void HelperTool::renameUnmountedVolumeWithDiskUtilExecutablePath_forDiskIdentifier_toNewName_reply_(
    TextResult&& result, std::string executablePath, std::string diskIdentifier, std::string newName)
{
    serve(std::move(result), [this, executablePath = std::move(executablePath), diskIdentifier = std::move(diskIdentifier),
                              newName = std::move(newName)](const Caller&) {
        return textReply(dependencies_.diskCommands.renameUnmountedVolume(executablePath, diskIdentifier, newName));
    });
}

void HelperTool::sysctlConfigureKextHibernateCheckWithValue_reply_(TextResult&& result, bool value)
{
    serve(std::move(result), [this, value](const Caller&) {
        return textReply(dependencies_.systemOperations.configureHibernateCheck(value ? 1 : 0));
    });
}

void HelperTool::getLatestDiskMountLogsWithReply_(TextResult&& result)
{
    serve(std::move(result), [this](const Caller&) { return textReply(dependencies_.systemOperations.latestMountLog()); });
}

void HelperTool::checkFilterInstalledFSDriversWithList_reply_(sdbus::Result<std::vector<std::string>>&& result,
                                                              std::vector<std::string> paths)
{
    serve(std::move(result), [this, paths = std::move(paths)](const Caller&) { return dependencies_.fileOperations.existingPaths(paths); });
}

void HelperTool::revealFSDir_(const std::vector<std::string>& paths)
{
    serveWithoutReply("revealFSDir_", [this, paths](const Caller& caller) { dependencies_.fileOperations.reveal(paths, caller); });
}

void HelperTool::addLinkPath_forDiskPath_(const std::string& linkPath, const std::string& diskPath)
{
    serveWithoutReply("addLinkPath_forDiskPath_", [this, linkPath, diskPath](const Caller&) {
        dependencies_.fileOperations.addLink(linkPath, diskPath);
    });
}

}  // namespace ntfs
