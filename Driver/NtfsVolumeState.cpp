#include "NtfsVolumeState.h"

#include "PosixCommandRunner.h"
#include "Subprocess.h"

#include <blkid/blkid.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sstream>
#include <unistd.h>

namespace ntfs {
namespace {

std::string onPath(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/sbin:/usr/bin:/sbin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        auto candidate = std::filesystem::path(dir.empty() ? "." : dir) / tool;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
    }
    return tool;
}

}  // namespace

const char* NtfsVolumeState::nameOf(State state)
{
    static constexpr std::array<const char*, 5> names{"clean", "dirty", "hibernated", "not-ntfs", "unreadable"};
    return names[static_cast<std::size_t>(state)];
}

bool NtfsVolumeState::isNtfs(const std::string& device)
{
    std::unique_ptr<blkid_struct_probe, decltype(&blkid_free_probe)> probe(
        blkid_new_probe_from_filename(device.c_str()), &blkid_free_probe);
    // Only NTFS is of interest: asking for it alone spares reading every other kind's signature.
    const char* only[] = {"ntfs", nullptr};
    if (!probe || blkid_probe_filter_superblocks_type(probe.get(), BLKID_FLTR_ONLYIN, const_cast<char**>(only)) != 0
        || blkid_do_safeprobe(probe.get()) != 0)
        return false;
    const char* type = nullptr;
    return blkid_probe_lookup_value(probe.get(), "TYPE", &type, nullptr) == 0 && std::string(type) == "ntfs";
}

// Reads only the first four bytes of hiberfil.sys; the file itself may be many gigabytes.
bool NtfsVolumeState::hibernated(const std::string& device)
{
    Subprocess cat = Subprocess::spawn({onPath("ntfscat"), {"-f", device, "hiberfil.sys"}, {}});
    std::string head;
    cat.readOutput([&head](std::string_view chunk) {
        head.append(chunk.substr(0, 4 - head.size()));
        return head.size() < 4;
    });
    // Leaving scope stops ntfscat: nothing more of the file is wanted.
    return head == "hibr" || head == "HIBR" || head == "wake" || head == "WAKE";
}

int NtfsVolumeState::dirtyFlag(const std::string& device, std::string& detail)
{
    PosixCommandRunner runner(64 * 1024);
    CommandRun info = runner.run(onPath("ntfsinfo"), {"-f", "-m", device});
    auto at = info.output.find("Volume Flags:");
    if (!info.started() || info.status.value != 0 || at == std::string::npos) {
        detail = info.output.substr(0, info.output.find('\n'));
        return -1;
    }
    unsigned long flags = std::strtoul(info.output.c_str() + at + 13, nullptr, 16);
    return (flags & 0x0001) ? 1 : 0;
}

NtfsVolumeState::State NtfsVolumeState::of(const std::string& device, std::string& detail)
{
    if (!isNtfs(device)) {
        detail = device + " holds no NTFS file system";
        return State::NotNtfs;
    }
    try {
        if (hibernated(device)) {
            detail = "Windows saved a session in hiberfil.sys (hibernation or Fast Startup)";
            return State::Hibernated;
        }
    } catch (const std::system_error& e) {
        detail = std::string("cannot run ntfscat: ") + e.what();
        return State::Unreadable;
    }
    std::string why;
    switch (dirtyFlag(device, why)) {
    case 1: detail = "the volume's dirty flag is set (it was not unmounted cleanly)"; return State::Dirty;
    case 0: detail = "clean"; return State::Clean;
    default: detail = "the volume cannot be read: " + why; return State::Unreadable;
    }
}

}  // namespace ntfs
