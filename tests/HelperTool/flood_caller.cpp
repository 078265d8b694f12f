// Test and benchmark client (bench_helper_flood): opens CONNECTIONS connections to the system bus and
// sends REQUESTS checkDisk calls on each, all at once, each with a disk identifier of BYTES bytes
// (64 KiB unless given), offering interactive authorization when told. Prints "flooding" once every
// call is queued, then, when every call has its answer, one line per answer kind
// ("org.freedesktop.DBus.Error.AccessDenied 1180") and "done"; with "stream", each answer's kind
// as it arrives instead. Usage: flood_caller CONNECTIONS REQUESTS [BYTES [interactive] [stream]]
#include <systemd/sd-bus.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <poll.h>
#include <string>
#include <vector>

namespace {

struct Tally {
    std::map<std::string, int> answers;
    int outstanding = 0;
    bool stream = false;
};

int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*)
{
    auto& tally = *static_cast<Tally*>(userdata);
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    ++tally.answers[error ? error->name : "reply"];
    --tally.outstanding;
    if (tally.stream) {
        std::printf("%s\n", error ? error->name : "reply");
        std::fflush(stdout);
    }
    return 0;
}

bool send(sd_bus* bus, const std::string& identifier, bool interactive, Tally& tally)
{
    sd_bus_message* call = nullptr;
    bool sent = sd_bus_message_new_method_call(bus, &call, "com.tarn.mac.utility.store.ntfs.HelperTool",
                                               "/com/tarn/mac/utility/store/ntfs/HelperTool",
                                               "com.tarn.mac.utility.store.ntfs.HelperToolProtocol",
                                               "checkDiskWithExecutablePath_forDiskIdentifier_reply_") >= 0 &&
                sd_bus_message_append(call, "ss", "/bin/true", identifier.c_str()) >= 0 &&
                sd_bus_message_set_allow_interactive_authorization(call, interactive) >= 0 &&
                sd_bus_call_async(bus, nullptr, call, onReply, &tally, UINT64_MAX) >= 0;
    sd_bus_message_unref(call);
    return sent;
}

}  // namespace

int main(int argc, char** argv)
{
    int connections = argc > 2 ? std::stoi(argv[1]) : 100;
    int requests = argc > 2 ? std::stoi(argv[2]) : 120;
    std::string identifier(argc > 3 ? std::stoul(argv[3]) : 64 * 1024, 'x');
    bool interactive = false;
    Tally tally;
    for (int i = 4; i < argc; ++i) {
        interactive |= std::strcmp(argv[i], "interactive") == 0;
        tally.stream |= std::strcmp(argv[i], "stream") == 0;
    }
    std::vector<sd_bus*> buses;
    for (int c = 0; c < connections; ++c) {
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0) {
            std::printf("cannot connect\n");
            return 1;
        }
        buses.push_back(bus);
        for (int r = 0; r < requests; ++r)
            tally.outstanding += send(bus, identifier, interactive, tally) ? 1 : 0;
    }
    std::printf("flooding\n");
    std::fflush(stdout);
    while (tally.outstanding > 0) {
        std::vector<pollfd> fds;
        for (sd_bus* bus : buses) {
            while (sd_bus_process(bus, nullptr) > 0) {
            }
            fds.push_back({sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0});
        }
        if (tally.outstanding > 0)
            poll(fds.data(), fds.size(), 1000);
    }
    if (!tally.stream)
        for (const auto& [name, count] : tally.answers)
            std::printf("%s %d\n", name.c_str(), count);
    for (sd_bus* bus : buses)
        sd_bus_flush_close_unref(bus);
    std::printf("done\n");
    return 0;
}
