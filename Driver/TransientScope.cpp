#include "Driver/TransientScope.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <type_traits>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs {
namespace {

constexpr auto waitForScope = std::chrono::seconds(5);

// libsystemd, loaded only where systemd runs: every other start of the driver is spared loading
// it and what it brings along.
struct SdBus {
    decltype(&sd_bus_open_system) openSystem = nullptr;
    decltype(&sd_bus_flush_close_unref) close = nullptr;
    decltype(&sd_bus_message_new_method_call) newCall = nullptr;
    decltype(&sd_bus_message_append) append = nullptr;
    decltype(&sd_bus_message_read) read = nullptr;
    decltype(&sd_bus_message_unref) unrefMessage = nullptr;
    decltype(&sd_bus_call) call = nullptr;
    decltype(&sd_bus_error_free) freeError = nullptr;
    decltype(&sd_bus_match_signal) matchSignal = nullptr;
    decltype(&sd_bus_slot_unref) unrefSlot = nullptr;
    decltype(&sd_bus_process) process = nullptr;
    decltype(&sd_bus_wait) wait = nullptr;

    static const SdBus* load()
    {
        static const SdBus loaded = [] {
            SdBus bus;
            void* library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
            if (!library)
                return bus;
            auto find = [library](auto& function, const char* name) {
                function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(dlsym(library, name));
                return function != nullptr;
            };
            bool all = find(bus.openSystem, "sd_bus_open_system") & find(bus.close, "sd_bus_flush_close_unref")
                       & find(bus.newCall, "sd_bus_message_new_method_call") & find(bus.append, "sd_bus_message_append")
                       & find(bus.read, "sd_bus_message_read") & find(bus.unrefMessage, "sd_bus_message_unref")
                       & find(bus.call, "sd_bus_call") & find(bus.freeError, "sd_bus_error_free")
                       & find(bus.matchSignal, "sd_bus_match_signal") & find(bus.unrefSlot, "sd_bus_slot_unref")
                       & find(bus.process, "sd_bus_process") & find(bus.wait, "sd_bus_wait");
            if (!all)
                bus.openSystem = nullptr;
            return bus;
        }();
        return loaded.openSystem ? &loaded : nullptr;
    }
};

struct BusCloser {
    void operator()(sd_bus* bus) const { SdBus::load()->close(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { SdBus::load()->unrefMessage(message); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { SdBus::load()->unrefSlot(slot); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

// Unit names allow letters, digits and ":_.-"; anything else is written as \xNN, as systemd does.
std::string unitNameFor(const std::string& purpose)
{
    std::string name = "tarn_ntfs-";
    for (unsigned char c : purpose) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_'
                     || c == '.' || c == '-';
        if (plain) {
            name += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            name += escaped;
        }
    }
    return name + "-" + std::to_string(getpid()) + ".scope";
}

struct JobWait {
    std::string path;
    bool done = false;
    std::string result;
};

int jobRemoved(sd_bus_message* message, void* data, sd_bus_error*)
{
    auto* wait = static_cast<JobWait*>(data);
    uint32_t id = 0;
    const char *path = nullptr, *unit = nullptr, *result = nullptr;
    if (SdBus::load()->read(message, "uoss", &id, &path, &unit, &result) >= 0 && wait->path == path) {
        wait->done = true;
        wait->result = result;
    }
    return 0;
}

int startScope(sd_bus* bus, const std::string& name, const std::string& description, JobWait& wait, std::string& why)
{
    const SdBus& sd = *SdBus::load();
    sd_bus_message* raw = nullptr;
    int r = sd.newCall(bus, &raw, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                           "org.freedesktop.systemd1.Manager", "StartTransientUnit");
    Message call(raw);
    if (r >= 0)
        r = sd.append(raw, "ss", name.c_str(), "fail");
    if (r >= 0)
        r = sd.append(raw, "a(sv)", 3, "PIDs", "au", 1, static_cast<uint32_t>(getpid()), "Description", "s",
                                  description.c_str(), "CollectMode", "s", "inactive-or-failed");
    if (r >= 0)
        r = sd.append(raw, "a(sa(sv))", 0);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (r >= 0)
        r = sd.call(bus, raw, 5'000'000, &error, &reply);
    Message answer(reply);
    const char* job = nullptr;
    if (r >= 0)
        r = sd.read(reply, "o", &job);
    if (r < 0)
        why = std::string("systemd did not make the scope: ") + (error.message ? error.message : std::strerror(-r));
    else
        wait.path = job;
    sd.freeError(&error);
    return r;
}

}  // namespace

bool TransientScope::enter(const std::string& purpose, const std::string& description, std::string& why)
{
    struct stat runtime;
    const SdBus* sd = lstat("/run/systemd/system", &runtime) == 0 && S_ISDIR(runtime.st_mode) ? SdBus::load() : nullptr;
    if (!sd) {
        why = "systemd does not run here";
        return false;
    }
    sd_bus* raw = nullptr;
    if (int r = sd->openSystem(&raw); r < 0) {
        why = std::string("no system bus: ") + std::strerror(-r);
        return false;
    }
    Bus bus(raw);
    JobWait wait;
    sd_bus_slot* slot = nullptr;
    // Listening before asking: the job may end before the answer arrives.
    if (sd->matchSignal(raw, &slot, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                            "org.freedesktop.systemd1.Manager", "JobRemoved", jobRemoved, &wait) < 0) {
        why = "cannot follow systemd's jobs";
        return false;
    }
    std::unique_ptr<sd_bus_slot, SlotUnref> match(slot);
    if (startScope(raw, unitNameFor(purpose), description, wait, why) < 0)
        return false;
    auto deadline = std::chrono::steady_clock::now() + waitForScope;
    while (!wait.done && std::chrono::steady_clock::now() < deadline) {
        int r = sd->process(raw, nullptr);
        if (r < 0)
            break;
        if (r == 0)
            sd->wait(raw, static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                       deadline - std::chrono::steady_clock::now())
                                                       .count()));
    }
    if (!wait.done || wait.result != "done") {
        why = "the scope did not start" + (wait.result.empty() ? std::string() : " (" + wait.result + ")");
        return false;
    }
    return true;
}

}  // namespace ntfs
