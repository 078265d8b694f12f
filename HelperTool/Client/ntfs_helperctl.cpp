// ntfs-helperctl: NTFS and exFAT disks from a terminal, through the privileged helper.
#include "HelperTool/Client/CliStatus.h"
#include "HelperTool/Client/DiskVerbs.h"
#include "HelperTool/Client/MessageCommands.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace ntfs;
using Args = std::vector<std::string>;

constexpr const char* help =
    "Usage: ntfs-helperctl [OPTION...] VERB [ARGUMENT...]\n"
    "NTFS and exFAT disks, through the NTFS driver's privileged helper. DEVICE is /dev/sdb1 or sdb1.\n"
    "\n"
    "  list [--json]                          NTFS and exFAT volumes: size, label, type, where mounted,\n"
    "                                         ro/rw, the state Windows left them in (where readable)\n"
    "  mount DEVICE [--read-only] [--options OPTS]\n"
    "                                         mount at /media/$USER/<label>, owned by you\n"
    "  unmount DEVICE|MOUNTPOINT              unmount and remove the mount point\n"
    "  check DEVICE                           check and repair an NTFS volume\n"
    "  rename DEVICE NAME                     set the label of an unmounted volume\n"
    "  format DEVICE --ntfs|--exfat NAME [--yes]\n"
    "                                         erase DEVICE (asks you to type its name unless --yes)\n"
    "  call MESSAGE ARGUMENT...               send one message with its own arguments (below);\n"
    "                                         \"call\" may be left out where no verb has the name\n"
    "\n"
    "Options:\n"
    "  --no-user-interaction  never ask for a password; fail at once where consent is needed\n"
    "  --tool PATH            use PATH instead of the installed driver's tool\n"
    "  --help                 this text\n"
    "\n"
    "Exit status: 0 done; 2 the helper could not be reached or failed the call; 3 the helper is\n"
    "not installed; 4 the driver is not installed; 5 not confirmed, nothing changed; 6 no such\n"
    "device, no NTFS or exFAT volume on it, or not mounted; 64 usage; 77 refused (no consent);\n"
    "130 Ctrl-C while waiting for the helper (which finishes the command on its own);\n"
    "any other: the driver tool's own status (32 not mounted or unmounted, 65 not NTFS or\n"
    "unreadable, 66 not a block device, 75 in use or busy, 76 holds a mounted volume, 78 Windows\n"
    "is hibernated on it; see ntfs-helperctl(1)).\n"
    "\n"
    "Messages (call):\n";

int usage(std::ostream& out, int status)
{
    out << help << MessageCommands::usage();
    return status;
}

struct CommandLine {
    DiskVerbs::Options options;
    std::optional<DiskVerbs::FileSystem> fileSystem;
    std::string verb;
    Args arguments;
    bool help = false;
};

// Options may stand anywhere; "--" ends them.
std::optional<CommandLine> parse(int argc, char** argv)
{
    CommandLine line;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> { return i + 1 < argc ? std::optional<std::string>(argv[++i]) : std::nullopt; };
        if (optionsEnded || arg.size() < 2 || arg.rfind("--", 0) != 0 || line.verb == "call")
            (line.verb.empty() ? line.verb : line.arguments.emplace_back()) = arg;
        else if (arg == "--")
            optionsEnded = true;
        else if (arg == "--help" || arg == "-h")
            line.help = true;
        else if (arg == "--json")
            line.options.json = true;
        else if (arg == "--read-only")
            line.options.readOnly = true;
        else if (arg == "--yes")
            line.options.yes = true;
        else if (arg == "--no-user-interaction")
            line.options.userInteraction = false;
        else if (arg == "--ntfs")
            line.fileSystem = DiskVerbs::FileSystem::Ntfs;
        else if (arg == "--exfat")
            line.fileSystem = DiskVerbs::FileSystem::Exfat;
        else if (auto v = (arg == "--options" || arg == "--tool") ? value() : std::nullopt)
            (arg == "--tool" ? line.options.tool : line.options.mountOptions) = *v;
        else
            return std::nullopt;
    }
    return line;
}

bool isVerb(const std::string& word)
{
    for (const char* verb : {"list", "mount", "unmount", "check", "rename", "format", "call"})
        if (word == verb)
            return true;
    return false;
}

int runVerb(DiskVerbs& commands, const CommandLine& line)
{
    const auto& verb = line.verb;
    const auto& a = line.arguments;
    if (verb == "list" && a.empty())
        return commands.list();
    if (verb == "mount" && a.size() == 1)
        return commands.mount(a[0]);
    if (verb == "unmount" && a.size() == 1)
        return commands.unmount(a[0]);
    if (verb == "check" && a.size() == 1)
        return commands.check(a[0]);
    if (verb == "rename" && a.size() == 2)
        return commands.rename(a[0], a[1]);
    if (verb == "format" && a.size() == 2 && line.fileSystem)
        return commands.format(a[0], *line.fileSystem, a[1]);
    if (verb == "call" && !a.empty() && MessageCommands::accepts(a[0], a.size() - 1))
        return *MessageCommands::run(commands.helper(), a[0], Args(a.begin() + 1, a.end()));
    // A message that no verb shadows (version, mount-log, hibernate-check, ...) needs no "call".
    if (!isVerb(verb) && MessageCommands::accepts(verb, a.size()))
        return *MessageCommands::run(commands.helper(), verb, a);
    return usage(std::cerr, UsageError);
}

int failedCall(const sdbus::Error& e)
{
    const std::string& name = e.getName();
    if (name == "org.freedesktop.DBus.Error.AccessDenied") {
        std::cerr << "ntfs-helperctl: refused: you are not allowed to use the NTFS helper (consent was not given: "
                     "wrong password, dismissed, not an administrator, or --no-user-interaction)\n";
        return Refused;
    }
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner") {
        std::cerr << "ntfs-helperctl: the NTFS helper (com.zel.ntfs.HelperTool) is not installed: install it with the "
                     "setup app (com.tarn.mac.utility.website.ntfs.HelperApp, Install)\n";
        return HelperMissing;
    }
    std::cerr << "ntfs-helperctl: " << name << ": " << e.getMessage() << "\n";
    return HelperFailed;
}

}  // namespace

int main(int argc, char** argv)
{
    auto line = parse(argc, argv);
    if (!line)
        return usage(std::cerr, UsageError);
    if (line->help)
        return usage(std::cout, Done);
    const char* installRoot = std::getenv("NTFS_INSTALL_ROOT");
    DiskVerbs commands(InstalledDriver(installRoot && *installRoot ? installRoot : "/"), line->options);
    try {
        return runVerb(commands, *line);
    } catch (const sdbus::Error& e) {
        return failedCall(e);
    } catch (const InstalledDriver::Missing& e) {
        std::cerr << "ntfs-helperctl: " << e.what() << "\n";
        return DriverMissing;
    } catch (const std::exception& e) {
        std::cerr << "ntfs-helperctl: " << e.what() << "\n";
        return UsageError;
    }
}
