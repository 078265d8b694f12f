// Test and benchmark client (bench_helper_flood): opens CONNECTIONS connections to the system bus and
// sends REQUESTS checkDisk calls on each, all at once, each with a 64 KiB disk identifier. Prints
// "flooding" once every call is queued, then, when every call has its answer, one line per answer
// kind ("org.freedesktop.DBus.Error.AccessDenied 1180") and "done". Usage: flood_caller CONNECTIONS REQUESTS
#include <systemd/sd-bus.h>

#include <cstdio>
#include <map>
#include <poll.h>
#include <string>
#include <vector>

namespace {

struct Tally {
    std::map<std::string, int> answers;
    int outstanding = 0;
};

int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*)
{
    auto& tally = *static_cast<Tally*>(userdata);
    const sd_bus_error* error = sd_bus_message_get_error(reply);
    ++tally.answers[error ? error->name : "reply"];
    --tally.outstanding;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int connections = argc > 2 ? std::stoi(argv[1]) : 100;
    int requests = argc > 2 ? std::stoi(argv[2]) : 120;
    std::string identifier(64 * 1024, 'x');
    Tally tally;
    std::vector<sd_bus*> buses;
    for (int c = 0; c < connections; ++c) {
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0) {
            std::printf("cannot connect\n");
            return 1;
        }
        buses.push_back(bus);
        for (int r = 0; r < requests; ++r) {
            if (sd_bus_call_method_async(bus, nullptr, "com.tarn.mac.utility.store.ntfs.HelperTool",
                                         "/com/tarn/mac/utility/store/ntfs/HelperTool",
                                         "com.tarn.mac.utility.store.ntfs.HelperToolProtocol",
                                         "checkDiskWithExecutablePath_forDiskIdentifier_reply_", onReply, &tally, "ss",
                                         "/bin/true", identifier.c_str()) >= 0)
                ++tally.outstanding;
        }
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
    for (const auto& [name, count] : tally.answers)
        std::printf("%s %d\n", name.c_str(), count);
    for (sd_bus* bus : buses)
        sd_bus_flush_close_unref(bus);
    std::printf("done\n");
    return 0;
}
