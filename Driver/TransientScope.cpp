#include "TransientScope.h"

#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace ntfs {
namespace {

constexpr auto waitForScope = std::chrono::seconds(5);

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
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
    if (sd_bus_message_read(message, "uoss", &id, &path, &unit, &result) >= 0 && wait->path == path) {
        wait->done = true;
        wait->result = result;
    }
    return 0;
}

int startScope(sd_bus* bus, const std::string& name, const std::string& description, JobWait& wait, std::string& why)
{
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus, &raw, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                           "org.freedesktop.systemd1.Manager", "StartTransientUnit");
    Message call(raw);
    if (r >= 0)
        r = sd_bus_message_append(raw, "ss", name.c_str(), "fail");
    if (r >= 0)
        r = sd_bus_message_append(raw, "a(sv)", 3, "PIDs", "au", 1, static_cast<uint32_t>(getpid()), "Description", "s",
                                  description.c_str(), "CollectMode", "s", "inactive-or-failed");
    if (r >= 0)
        r = sd_bus_message_append(raw, "a(sa(sv))", 0);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (r >= 0)
        r = sd_bus_call(bus, raw, 5'000'000, &error, &reply);
    Message answer(reply);
    const char* job = nullptr;
    if (r >= 0)
        r = sd_bus_message_read(reply, "o", &job);
    if (r < 0)
        why = std::string("systemd did not make the scope: ") + (error.message ? error.message : std::strerror(-r));
    else
        wait.path = job;
    sd_bus_error_free(&error);
    return r;
}

}  // namespace

bool TransientScope::enter(const std::string& purpose, const std::string& description, std::string& why)
{
    if (sd_booted() <= 0) {
        why = "systemd does not run here";
        return false;
    }
    sd_bus* raw = nullptr;
    if (int r = sd_bus_open_system(&raw); r < 0) {
        why = std::string("no system bus: ") + std::strerror(-r);
        return false;
    }
    Bus bus(raw);
    JobWait wait;
    sd_bus_slot* slot = nullptr;
    // Listening before asking: the job may end before the answer arrives.
    if (sd_bus_match_signal(raw, &slot, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                            "org.freedesktop.systemd1.Manager", "JobRemoved", jobRemoved, &wait) < 0) {
        why = "cannot follow systemd's jobs";
        return false;
    }
    std::unique_ptr<sd_bus_slot, SlotUnref> match(slot);
    if (startScope(raw, unitNameFor(purpose), description, wait, why) < 0)
        return false;
    auto deadline = std::chrono::steady_clock::now() + waitForScope;
    while (!wait.done && std::chrono::steady_clock::now() < deadline) {
        int r = sd_bus_process(raw, nullptr);
        if (r < 0)
            break;
        if (r == 0)
            sd_bus_wait(raw, static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
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
