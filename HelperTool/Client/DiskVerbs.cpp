#include "HelperTool/Client/DiskVerbs.h"

#include "Common/MountFolderName.h"
#include "HelperTool/Client/CliStatus.h"
#include "HelperTool/Client/MessageCommands.h"

#include <iomanip>
#include <iostream>
#include <csignal>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace ntfs {
namespace {

std::string jsonString(const std::string& text)
{
    std::ostringstream out;
    out << '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\')
            out << '\\' << c;
        else if (c < 0x20)
            out << "\\u" << std::hex << std::setw(4) << std::setfill('0') << static_cast<int>(c) << std::dec;
        else
            out << c;
    }
    out << '"';
    return out.str();
}

std::string jsonOrNull(const std::string& text) { return text.empty() ? "null" : jsonString(text); }

std::string humanSize(std::uint64_t bytes)
{
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double size = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (size >= 1024 && unit + 1 < std::size(units)) {
        size /= 1024;
        ++unit;
    }
    std::ostringstream out;
    out << std::setprecision(size < 10 && unit > 0 ? 2 : 3) << size << " " << units[unit];
    return out.str();
}

// Pads to `width` characters (not bytes: labels are UTF-8).
std::string padded(const std::string& text, std::size_t width)
{
    std::size_t characters = 0;
    for (unsigned char c : text)
        characters += (c & 0xC0) != 0x80;
    return text + std::string(characters < width ? width - characters : 1, ' ');
}

std::string describe(const Volume& volume)
{
    std::string text = volume.device + ": " + humanSize(volume.size) + ", " + (volume.type.empty() ? "nothing known on it" : volume.type);
    if (!volume.label.empty())
        text += " \"" + volume.label + "\"";
    if (!volume.mountPoint.empty())
        text += ", mounted at " + volume.mountPoint + (volume.readOnly ? " (read-only)" : "");
    if (!volume.windowsState.empty())
        text += ", Windows state " + volume.windowsState;
    return text;
}

void printJson(const std::vector<Volume>& volumes)
{
    std::cout << "[";
    const char* separator = "";
    for (const auto& v : volumes) {
        std::cout << std::exchange(separator, ",") << "\n  {\"device\": " << jsonString(v.device) << ", \"size\": " << v.size
                  << ", \"type\": " << jsonString(v.type) << ", \"label\": " << jsonOrNull(v.label)
                  << ", \"uuid\": " << jsonOrNull(v.uuid) << ", \"mountpoint\": " << jsonOrNull(v.mountPoint)
                  << ", \"access\": " << (v.mountPoint.empty() ? "null" : v.readOnly ? "\"ro\"" : "\"rw\"")
                  << ", \"windows_state\": " << jsonOrNull(v.windowsState) << "}";
    }
    std::cout << (volumes.empty() ? "]\n" : "\n]\n");
}

void printTable(const std::vector<Volume>& volumes)
{
    auto row = [](const std::string& device, const std::string& size, const std::string& type, const std::string& label,
                  const std::string& access, const std::string& windows, const std::string& mountPoint) {
        std::cout << padded(device, 15) << padded(size, 11) << padded(type, 7) << padded(label, 21) << padded(access, 8)
                  << padded(windows, 12) << mountPoint << "\n";
    };
    row("DEVICE", "SIZE", "TYPE", "LABEL", "ACCESS", "WINDOWS", "MOUNTPOINT");
    auto orDash = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    for (const auto& v : volumes)
        row(v.device, humanSize(v.size), v.type, orDash(v.label), v.mountPoint.empty() ? "-" : v.readOnly ? "ro" : "rw",
            orDash(v.windowsState), orDash(v.mountPoint));
}

// A command runs as long as it needs; Ctrl-C ends only our wait for it, not the command.
void stopWaitingOnInterrupt()
{
    struct sigaction action {};
    action.sa_handler = [](int) {
        constexpr char notice[] = "\nntfs-helperctl: stopped waiting; the helper finishes the command on its own\n";
        [[maybe_unused]] auto written = write(STDERR_FILENO, notice, sizeof notice - 1);
        _exit(Interrupted);
    };
    sigaction(SIGINT, &action, nullptr);
}

std::string userName()
{
    const passwd* entry = getpwuid(getuid());
    return entry ? entry->pw_name : std::to_string(getuid());
}

}  // namespace

HelperToolClient& DiskVerbs::helper()
{
    if (!client_) {
        stopWaitingOnInterrupt();
        if (getuid() != 0 && options_.userInteraction)
            agent_.emplace();
        client_ = std::make_unique<HelperToolClient>();
        if (options_.userInteraction)
            client_->allowInteractiveAuthorization();
    }
    return *client_;
}

std::string DiskVerbs::toolFor(InstalledDriver::Tool tool) const
{
    return options_.tool.empty() ? driver_.require(tool) : options_.tool;
}

std::optional<Volume> DiskVerbs::volume(const std::string& device) const
{
    auto found = VolumeCatalog::find(device);
    if (!found)
        std::cerr << "ntfs-helperctl: " << VolumeCatalog::pathOf(device) << " is not a block device (see ntfs-helperctl list)\n";
    return found;
}

int DiskVerbs::report(const CommandResult& result, bool dropTaggedLines)
{
    std::istringstream lines(result.text.value_or(""));
    std::string line;
    while (std::getline(lines, line))
        if (!dropTaggedLines || line.rfind("tarn_ntfs-mount:", 0) != 0)
            std::cout << line << "\n";
    if (result.status != 0)
        std::cerr << "ntfs-helperctl: the driver's tool ended with status " << result.status << "\n";
    return MessageCommands::exitCodeFor(result.status);
}

int DiskVerbs::list()
{
    auto volumes = VolumeCatalog::list();
    if (options_.json)
        printJson(volumes);
    else
        printTable(volumes);
    return Done;
}

int DiskVerbs::mount(const std::string& device)
{
    auto found = volume(device);
    if (!found)
        return NoVolume;
    if (!found->mountPoint.empty()) {
        std::cout << found->device << " is already mounted at " << found->mountPoint << "\n";
        return Done;
    }
    if (!found->type.empty() && found->type != "ntfs" && found->type != "exfat") {
        std::cerr << "ntfs-helperctl: " << found->device << " holds " << found->type << ", not NTFS or exFAT\n";
        return NoVolume;
    }
    std::string tool = toolFor(InstalledDriver::Tool::Mount);
    std::string name = found->device.substr(found->device.rfind('/') + 1);
    std::string folder = "/media/" + userName() + "/" + MountFolderName::forVolume(found->label, found->uuid, name);
    std::string options = "uid=" + std::to_string(getuid()) + ",gid=" + std::to_string(getgid());
    if (found->type != "exfat")
        options += ",windows_names";
    if (options_.readOnly)
        options += ",ro";
    if (!options_.mountOptions.empty())
        options += "," + options_.mountOptions;
    int status = report(helper().mountNTFSDisk(tool, found->device, options, folder), true);
    if (status == Done)
        if (auto mounted = VolumeCatalog::find(found->device); mounted && !mounted->mountPoint.empty())
            std::cout << mounted->mountPoint << "\n";
    return status;
}

int DiskVerbs::unmount(const std::string& deviceOrMountPoint)
{
    struct stat info {};
    std::string target = deviceOrMountPoint;
    bool isFolder = !target.empty() && target.front() == '/' && stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (!isFolder) {
        auto found = volume(target);
        if (!found)
            return NoVolume;
        if (found->mountPoint.empty()) {
            std::cerr << "ntfs-helperctl: " << found->device << " is not mounted\n";
            return NoVolume;
        }
        target = found->mountPoint;
    }
    std::string tool = toolFor(InstalledDriver::Tool::DiskUtility);
    return report(helper().unmountDisk(tool, target));
}

int DiskVerbs::check(const std::string& device)
{
    auto found = volume(device);
    if (!found)
        return NoVolume;
    std::string tool = toolFor(InstalledDriver::Tool::Check);
    return report(helper().checkDisk(tool, found->device));
}

int DiskVerbs::rename(const std::string& device, const std::string& name)
{
    auto found = volume(device);
    if (!found)
        return NoVolume;
    std::string tool = toolFor(InstalledDriver::Tool::DiskUtility);
    return report(helper().renameUnmountedVolume(tool, found->device, name));
}

bool DiskVerbs::confirmErase(const Volume& volume) const
{
    std::string name = volume.device.substr(volume.device.rfind('/') + 1);
    std::cout << describe(volume) << "\nEverything on " << volume.device << " will be erased. Type " << name
              << " to go on: " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == name || answer == volume.device;
}

int DiskVerbs::format(const std::string& device, FileSystem fileSystem, const std::string& name)
{
    auto found = volume(device);
    if (!found)
        return NoVolume;
    bool ntfs = fileSystem == FileSystem::Ntfs;
    std::string tool = toolFor(ntfs ? InstalledDriver::Tool::Format : InstalledDriver::Tool::DiskUtility);
    if (!options_.yes) {
        if (!isatty(STDIN_FILENO)) {
            std::cerr << "ntfs-helperctl: formatting erases " << found->device << "; not on a terminal, say --yes to go on\n";
            return UsageError;
        }
        if (!confirmErase(*found)) {
            std::cerr << "ntfs-helperctl: nothing was changed\n";
            return Cancelled;
        }
    }
    return report(ntfs ? helper().formatNTFSDisk(tool, found->device, name) : helper().formatDisk(tool, found->device, 0, name, true));
}

}  // namespace ntfs
