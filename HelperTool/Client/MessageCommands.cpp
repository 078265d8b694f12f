#include "HelperTool/Client/MessageCommands.h"

#include <functional>
#include <iostream>
#include <sstream>
#include <utility>

namespace ntfs {
namespace {

using Args = std::vector<std::string>;

struct Subcommand {
    const char* name;
    const char* usage;
    std::size_t minArgs;
    std::size_t maxArgs;
    std::function<int(HelperToolClient&, const Args&)> run;
};

int printResult(const CommandResult& result)
{
    if (result.text)
        std::cout << *result.text << (result.text->empty() || result.text->back() == '\n' ? "" : "\n");
    else
        std::cout << "(no text)\n";
    std::cout << "status: " << result.status << "\n";
    return MessageCommands::exitCodeFor(result.status);
}

int printKextLoad(const HelperToolClient::KextLoad& load)
{
    std::cout << "result: " << load.first << (load.first == 2 ? " (loaded)" : "") << "\nreturn code: " << load.second << "\n";
    return load.first == 2 ? 0 : 1;
}

void printVariant(const sdbus::Variant& value)
{
    auto type = value.peekValueType();
    if (type == "s")
        std::cout << value.get<std::string>();
    else if (type == "b")
        std::cout << (value.get<bool>() ? "true" : "false");
    else if (type == "t")
        std::cout << value.get<std::uint64_t>();
    else if (type == "x")
        std::cout << value.get<std::int64_t>();
    else if (type == "i")
        std::cout << value.get<std::int32_t>();
    else if (type == "as") {
        const char* separator = "";
        for (const auto& item : value.get<std::vector<std::string>>())
            std::cout << std::exchange(separator, ", ") << item;
    } else
        std::cout << "<" << type << ">";
}

int printKextInfos(const std::optional<HelperToolClient::KextInfos>& infos)
{
    if (!infos) {
        std::cout << "(none)\n";
        return 1;
    }
    for (const auto& [identifier, info] : *infos) {
        std::cout << identifier << "\n";
        for (const auto& [key, value] : info) {
            std::cout << "  " << key << ": ";
            printVariant(value);
            std::cout << "\n";
        }
    }
    return 0;
}

int printLines(const std::vector<std::string>& lines)
{
    for (const auto& line : lines)
        std::cout << line << "\n";
    return 0;
}

Args rest(const Args& args, std::size_t from) { return Args(args.begin() + static_cast<long>(from), args.end()); }

const std::vector<Subcommand>& subcommands()
{
    static const std::vector<Subcommand> all{
        {"version", "", 0, 0, [](auto& c, auto&) { std::cout << c.getVersion() << "\n"; return 0; }},
        {"load-kext", "PATH", 1, 1, [](auto& c, auto& a) { return printKextLoad(c.loadInstalledKernelExtensionAtPath(a[0])); }},
        {"load-kext-id", "IDENTIFIER", 1, 1,
         [](auto& c, auto& a) { return printKextLoad(c.loadInstalledKernelExtensionWithBundleId(a[0])); }},
        {"kext-info", "[IDENTIFIER]", 0, 1,
         [](auto& c, auto& a) { return printKextInfos(c.getLoadedKernelExtensionInfos(a.empty() ? "" : a[0])); }},
        {"check", "TOOL DISK", 2, 2, [](auto& c, auto& a) { return printResult(c.checkDisk(a[0], a[1])); }},
        {"format-ntfs", "TOOL DISK NEW-NAME", 3, 3, [](auto& c, auto& a) { return printResult(c.formatNTFSDisk(a[0], a[1], a[2])); }},
        {"format", "TOOL DISK FILE-SYSTEM-INDEX NEW-NAME volume|disk", 5, 5,
         [](auto& c, auto& a) {
             return printResult(c.formatDisk(a[0], a[1], std::stoi(a[2]), a[3], a[4] == "volume"));
         }},
        {"uninstall", "MODULE-PATH FILE-SYSTEM-BUNDLE-PATH", 2, 2,
         [](auto& c, auto& a) {
             auto status = c.uninstallKextAndFileSystem(a[0], a[1]);
             std::cout << "status: " << status << "\n";
             return MessageCommands::exitCodeFor(status);
         }},
        {"fda-test", "COMMAND [PARAMETER...]", 1, SIZE_MAX,
         [](auto& c, auto& a) {
             bool granted = c.empiricalTestForFullDiskAccess(a[0], rest(a, 1));
             std::cout << (granted ? "true" : "false") << "\n";
             return granted ? 0 : 1;
         }},
        {"mount-ntfs", "TOOL DISK OPTIONS MOUNT-POINT", 4, 4,
         [](auto& c, auto& a) { return printResult(c.mountNTFSDisk(a[0], a[1], a[2], a[3])); }},
        {"unmount", "TOOL DISK", 2, 2, [](auto& c, auto& a) { return printResult(c.unmountDisk(a[0], a[1])); }},
        {"mount", "TOOL DISK", 2, 2, [](auto& c, auto& a) { return printResult(c.mountDisk(a[0], a[1])); }},
        {"rename", "TOOL DISK NEW-NAME", 3, 3,
         [](auto& c, auto& a) { return printResult(c.renameUnmountedVolume(a[0], a[1], a[2])); }},
        {"hibernate-check", "on|off", 1, 1,
         [](auto& c, auto& a) { return printResult(c.sysctlConfigureKextHibernateCheck(a[0] == "on")); }},
        {"mount-log", "", 0, 0, [](auto& c, auto&) { return printResult(c.getLatestDiskMountLogs()); }},
        {"filter", "PATH...", 0, SIZE_MAX, [](auto& c, auto& a) { return printLines(c.checkFilterInstalledFSDrivers(a)); }},
        {"reveal", "PATH...", 0, SIZE_MAX, [](auto& c, auto& a) { c.revealFSDir(a); return 0; }},
        {"link", "LINK-PATH DISK-PATH", 2, 2, [](auto& c, auto& a) { c.addLinkPath(a[0], a[1]); return 0; }},
    };
    return all;
}

const Subcommand* named(const std::string& name)
{
    for (const auto& command : subcommands())
        if (name == command.name)
            return &command;
    return nullptr;
}

}  // namespace

int MessageCommands::exitCodeFor(std::int64_t status)
{
    if (status == 0)
        return 0;
    int low = static_cast<int>(status & 0xff);
    return low == 0 ? 1 : low;
}

bool MessageCommands::accepts(const std::string& name, std::size_t argumentCount)
{
    const auto* command = named(name);
    return command && argumentCount >= command->minArgs && argumentCount <= command->maxArgs;
}

std::optional<int> MessageCommands::run(HelperToolClient& client, const std::string& name, const std::vector<std::string>& args)
{
    if (!accepts(name, args.size()))
        return std::nullopt;
    return named(name)->run(client, args);
}

std::string MessageCommands::usage()
{
    std::ostringstream text;
    for (const auto& command : subcommands())
        text << "  call " << command.name << " " << command.usage << "\n";
    return text.str();
}

}  // namespace ntfs
