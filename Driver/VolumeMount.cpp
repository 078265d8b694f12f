#include "Driver/VolumeMount.h"

#include "Driver/BlockDevice.h"
#include "Driver/DiskLock.h"
#include "Driver/DriverStatus.h"
#include "Driver/DriverVariableStore.h"
#include "Driver/KernelMount.h"
#include "Driver/MediaFolder.h"
#include "Driver/MountLogStore.h"
#include "Driver/MountOptions.h"
#include "Driver/MountTable.h"
#include "Driver/ToolRunner.h"
#include "Driver/TransientScope.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace ntfs {
namespace {

constexpr auto lockWait = std::chrono::seconds(30);
constexpr auto mountDeadline = std::chrono::seconds(60);

VolumeMount::Outcome failed(VolumeMount::Outcome outcome, int code, const std::string& why)
{
    outcome.status = code;
    outcome.reasonLine = "mount.tarn_ntfs: " + outcome.device + " " + why;
    return outcome;
}

bool kernelHasNtfs3()
{
    std::ifstream filesystems("/proc/filesystems");
    std::string word;
    while (filesystems >> word)
        if (word == "ntfs3")
            return true;
    return false;
}

}  // namespace

VolumeMount::Outcome VolumeMount::mount(const Request& request)
{
    Outcome outcome;
    outcome.device = request.disk.empty() || request.disk.front() == '/' ? request.disk : "/dev/" + request.disk;
    outcome.mountPoint = request.mountPoint;
    // A folder below /media is claimed for the user the volume is mounted for, and may turn out
    // to be the next free name.
    MediaFolder media;
    std::optional<MediaFolder::Claim> claim;
    if (media.covers(request.mountPoint)) {
        try {
            claim = media.claim(request.mountPoint, MediaFolder::ownerIn(request.options));
        } catch (const MediaFolder::Refused& refused) {
            return failed(std::move(outcome), status::usage, std::string("was not mounted: ") + refused.what());
        }
        outcome.mountPoint = claim->path();
    }
    Request claimed = request;
    claimed.mountPoint = outcome.mountPoint;
    outcome = mountDevice(claimed, std::move(outcome));
    if (claim && outcome.status == status::done)
        claim->keep();
    return outcome;
}

VolumeMount::Outcome VolumeMount::mountDevice(const Request& request, Outcome outcome)
{
    std::string why;
    auto options = MountOptions::parse(request.options, why);
    if (!options)
        return failed(std::move(outcome), status::usage, "was not mounted: " + why);
    auto device = BlockDevice::named(request.disk, why);
    if (!device)
        return failed(std::move(outcome), status::notMounted, "cannot be mounted: " + why);
    auto lock = DiskLock::take(*device, lockWait, why);
    if (!lock)
        return failed(std::move(outcome), status::busy, "was not mounted: " + why);
    if (auto usage = device->usage(); usage.use != BlockDevice::Use::Free)
        return failed(std::move(outcome), status::busy, "was not mounted: " + usage.why);

    std::string detail;
    // The driver's switch (ntfs-helperctl hibernate-check) decides whether hiberfil.sys is looked at;
    // when it is not, ntfs-3g's own protection decides the access.
    outcome.hibernationChecked = DriverVariableStore().hibernateCheckOn();
    outcome.state = NtfsVolumeState::of(device->path(), {outcome.hibernationChecked, 20, status::notMounted}, detail);
    if (outcome.state == NtfsVolumeState::State::NotNtfs || outcome.state == NtfsVolumeState::State::Unreadable)
        return failed(std::move(outcome), status::notMounted,
                      "cannot be mounted: it is not an NTFS volume, or it is damaged (" + detail + ")");

    // Worked out before the volume is there: afterwards the path leads into it.
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(request.mountPoint, ec);
    const std::string mountPoint = ec ? request.mountPoint : canonical.string();
    bool readOnly = options->readOnlyAsked() || outcome.state != NtfsVolumeState::State::Clean;
    std::string driver = "ntfs-3g";
    bool mounted = false;
    if (kernelHasNtfs3()) {
        mounted = mountWithNtfs3(options->forMount(readOnly), outcome);
        driver = mounted ? "ntfs3" : driver;
    }
    if (!mounted && !mountWithNtfs3g(options->forMount(readOnly), outcome))
        return failed(std::move(outcome), status::notMounted, "was not mounted: " + outcome.toolOutput);

    // What the kernel says counts, not what was asked: a driver may fall back to read-only.
    const MountTable table = MountTable::read();
    const MountTable::Entry* entry = table.at(mountPoint);
    describe(entry ? MountTable::readOnly(*entry) : readOnly, options->readOnlyAsked(), driver, outcome);
    return outcome;
}

bool VolumeMount::mountWithNtfs3(const std::string& options, Outcome& outcome)
{
    std::string why;
    if (KernelMount::mount(outcome.device, outcome.mountPoint, "ntfs3", options, why))
        return true;
    outcome.toolOutput = "ntfs3 refused (" + why + "); mounted with ntfs-3g instead\n";
    return false;
}

bool VolumeMount::mountWithNtfs3g(const std::string& options, Outcome& outcome)
{
    std::string why;
    // Where systemd runs, the daemon that ntfs-3g leaves behind is in a scope of its own.
    TransientScope::enter("mount-" + std::filesystem::path(outcome.device).filename().string(),
                          "NTFS volume " + outcome.device + " at " + outcome.mountPoint, why);
    auto result = ToolRunner::run("ntfs-3g", {"-o", options, outcome.device, outcome.mountPoint}, mountDeadline);
    outcome.toolOutput += result.output;
    return result.status == 0;
}

void VolumeMount::describe(bool readOnly, bool readOnlyAsked, const std::string& driver, Outcome& outcome)
{
    using State = NtfsVolumeState::State;
    const std::string at = "Mounted " + outcome.device + " at " + outcome.mountPoint;
    if (!readOnly)
        outcome.reasonLine = at + " read-write (" + driver + ").";
    else if (outcome.state == State::Dirty)
        outcome.reasonLine = at + " read-only: Windows did not unmount this volume cleanly (it is marked dirty). To make "
                                  "it writable, unmount it and run the check (tarn_ntfs_fix), which clears the mark once "
                                  "the volume checks out.";
    else if (outcome.state == State::Hibernated)
        outcome.reasonLine = at + " read-only: Windows is hibernated on this volume (or Fast Startup is on), and writing "
                                  "would lose its saved session. To make it writable, start Windows and shut it down "
                                  "fully (Shift+Shut down, or turn Fast Startup off).";
    else if (readOnlyAsked)
        outcome.reasonLine = at + " read-only, as asked.";
    else if (!outcome.hibernationChecked)
        outcome.reasonLine = at + " read-only: " + driver + " refused to write to it. The hibernate check is off, so "
                                  "Windows may be hibernated on this volume (or Fast Startup is on); "
                                  "ntfs-helperctl hibernate-check on lets the driver tell.";
    else
        outcome.reasonLine = at + " read-only: the driver refused to write to it. To make it writable, unmount it and "
                                  "run the check (tarn_ntfs_fix).";
    bool unchecked = !outcome.hibernationChecked && outcome.state == State::Clean;
    outcome.tagLine = std::string("tarn_ntfs-mount: access=") + (readOnly ? "ro" : "rw") +
                      " state=" + (unchecked ? "unchecked" : NtfsVolumeState::nameOf(outcome.state));
}

void VolumeMount::record(const Outcome& outcome)
{
    std::vector<std::string> printed{outcome.reasonLine};
    if (!outcome.tagLine.empty())
        printed.push_back(outcome.tagLine);
    int error = MountLogStore().record({std::time(nullptr), outcome.device, outcome.mountPoint, outcome.status,
                                        std::move(printed), outcome.toolOutput});
    if (error != 0)
        std::fprintf(stderr, "mount.tarn_ntfs: warning: the mount log was not kept: %s\n", std::strerror(error));
}

void VolumeMount::print(const Outcome& outcome)
{
    std::printf("%s\n", outcome.reasonLine.c_str());
    if (!outcome.toolOutput.empty() && outcome.status == status::done)
        std::printf("%s%s", outcome.toolOutput.c_str(), outcome.toolOutput.back() == '\n' ? "" : "\n");
    if (!outcome.tagLine.empty())
        std::printf("%s\n", outcome.tagLine.c_str());
}

}  // namespace ntfs
