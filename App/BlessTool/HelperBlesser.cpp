#include "App/BlessTool/HelperBlesser.h"

#include "App/BlessTool/BlessToolStatus.h"
#include "App/BlessTool/StagedFile.h"
#include "Common/ElfSection.h"
#include "Common/RootOnlyPath.h"
#include "Common/Subprocess.h"
#include "Common/UniqueFd.h"
#include "HelperTool/Registration/PropertyList.h"
#include "HelperTool/Registration/RegistrationFiles.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr const char* infoSection = "__info_plist";
constexpr const char* launchdSection = "__launchd_plist";
constexpr mode_t executableMode = 0755;
constexpr mode_t dataMode = 0644;

std::optional<std::string> readAll(int fd)
{
    std::string bytes;
    char buffer[64 * 1024];
    for (off_t offset = 0;;) {
        ssize_t n = pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
}

int statusForWriteError(const std::system_error& error)
{
    int code = error.code().value();
    return code == EACCES || code == EPERM || code == EROFS ? BlessToolStatus::authorizationFailure
                                                            : BlessToolStatus::internalFailure;
}

}  // namespace

HelperBlesser::HelperBlesser(std::filesystem::path root, std::filesystem::path bundle, std::ostream& diagnostics)
    : root_(std::move(root)), bundle_(std::move(bundle)), diagnostics_(diagnostics)
{
}

bool HelperBlesser::isPlainName(const std::string& name)
{
    return !name.empty() && name.front() != '.' && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
               c == '-';
    });
}

int HelperBlesser::refuse(int status, const std::string& reason)
{
    diagnostics_ << "ntfs-bless-helper: " << reason << '\n';
    return status;
}

std::filesystem::path HelperBlesser::underRoot(const std::filesystem::path& path) const
{
    return root_ / path.relative_path();
}

int HelperBlesser::blessJobWithLabel(const std::string& label)
{
    if (!isPlainName(label))
        return refuse(BlessToolStatus::toolNotValid, "not a label: " + label);
    std::error_code error;
    if (!root_.is_absolute() || !std::filesystem::is_directory(root_, error))
        return refuse(BlessToolStatus::internalFailure, "no root folder " + root_.string());

    // Opened once, not through a link, and read only through that descriptor: what is checked is
    // what is copied, whatever happens to the path meanwhile.
    auto helper = bundle_ / "Library/LaunchServices" / label;
    ntfs::UniqueFd file(open(helper.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    auto bytes = file ? readAll(file.get()) : std::nullopt;
    std::optional<Embedded> embedded;
    if (bytes)
        embedded = embeddedPlists(file.get());
    if (!embedded)
        return refuse(BlessToolStatus::jobPlistNotFound, "no helper with an embedded job at " + helper.string());
    // Run as root, the tool installs a root service: only what root alone could have put in the app.
    auto realHelper = ntfs::RootOnlyPath::resolve(helper.parent_path()) + "/" + label;
    if (geteuid() == 0 && !ntfs::RootOnlyPath::holdsOpenFile(file.get(), realHelper))
        return refuse(BlessToolStatus::toolNotValid, helper.string() + ", or a folder above it, may be changed by others than root");
    std::optional<ntfs::RegistrationFiles> registration;
    if (auto refusal = checkHelper(label, *embedded, registration))
        return refuse(refusal->status, refusal->reason);
    return install(label, *bytes, *embedded, *registration);
}

std::optional<HelperBlesser::Embedded> HelperBlesser::embeddedPlists(int fd)
{
    auto info = ntfs::ElfSection::read(fd, infoSection);
    auto job = ntfs::ElfSection::read(fd, launchdSection);
    if (!info || !job)
        return std::nullopt;
    return Embedded{std::move(*info), std::move(*job)};
}

std::optional<HelperBlesser::Embedded> HelperBlesser::embeddedPlists(const std::filesystem::path& executable)
{
    auto info = ntfs::ElfSection::read(executable, infoSection);
    auto job = ntfs::ElfSection::read(executable, launchdSection);
    if (!info || !job)
        return std::nullopt;
    return Embedded{std::move(*info), std::move(*job)};
}

// The same checks as the platform's bless makes of the helper's identity: the job's label and
// the bundle identifier are the requested label; the program goes where blessed helpers go.
std::optional<HelperBlesser::Refusal> HelperBlesser::checkHelper(const std::string& label, const Embedded& embedded,
                                                                 std::optional<ntfs::RegistrationFiles>& registration)
{
    auto info = ntfs::PropertyList::fromXml(embedded.infoPlist);
    auto job = ntfs::PropertyList::fromXml(embedded.launchdPlist);
    if (!info || !job)
        return Refusal{BlessToolStatus::invalidPlist, "an embedded property list does not parse"};
    if (info->string("CFBundleIdentifier") != label)
        return Refusal{BlessToolStatus::toolNotValid, "the helper's bundle identifier is not " + label};
    if (job->string("Label") != label)
        return Refusal{BlessToolStatus::toolNotValid, "the helper's job label is not " + label};
    registration = ntfs::RegistrationFiles::fromLaunchdJob(*job);
    if (!registration)
        return Refusal{BlessToolStatus::invalidPlist, "the helper's job lacks its program or its services"};
    std::string program = std::string(helperFolder) + "/" + label;
    if (registration->program() != program)
        return Refusal{BlessToolStatus::toolNotValid, "the helper's job runs " + registration->program() +
                                                          " instead of " + program};
    for (const auto& name : registration->serviceNames()) {
        if (!isPlainName(name))
            return Refusal{BlessToolStatus::toolNotValid, "not a service name: " + name};
    }
    return std::nullopt;
}

int HelperBlesser::install(const std::string& label, const std::string& bytes, const Embedded& checked,
                           const ntfs::RegistrationFiles& registration)
{
    try {
        StagedFile executable(underRoot(registration.program()), executableMode);
        executable.write(bytes);
        // What goes into place is what was checked, even if the app's copy changed meanwhile.
        auto copied = embeddedPlists(executable.stagedPath());
        if (!copied || copied->infoPlist != checked.infoPlist || copied->launchdPlist != checked.launchdPlist)
            return refuse(BlessToolStatus::internalFailure, "the helper changed while it was copied");
        executable.commit();
        for (const auto& file : registration.files()) {
            StagedFile staged(underRoot("/" / file.path), dataMode);
            staged.write(file.content);
            staged.commit();
        }
    } catch (const std::system_error& error) {  // filesystem_error included
        return refuse(statusForWriteError(error), error.what());
    }
    diagnostics_ << "ntfs-bless-helper: " << label << " installed at " << underRoot(registration.program()).string()
                 << '\n';
    return restartService(registration);
}

// Only the running system's own systemd is told; a helper blessed into another root is not
// started. The bus reads the new policy before the helper asks for its name. A job kept alive is
// enabled, so that it starts at every boot, and (re)started now, so that a new version runs; one
// that is not runs when the bus first needs it, or again at once if an old version runs.
int HelperBlesser::restartService(const ntfs::RegistrationFiles& registration)
{
    std::error_code error;
    if (root_ != "/" || !std::filesystem::is_directory("/run/systemd/system", error))
        return BlessToolStatus::blessed;
    if (!runSystemctl({"daemon-reload"}))
        return refuse(BlessToolStatus::serviceUnavailable, "systemd could not reload its units");
    if (!runSystemctl({"reload", "dbus.service"}))
        diagnostics_ << "ntfs-bless-helper: the bus did not reload its configuration; it reads it again by itself\n";
    auto unit = registration.unitName();
    bool started = registration.keepAlive() ? runSystemctl({"enable", "--quiet", unit}) && runSystemctl({"restart", unit})
                                            : runSystemctl({"try-restart", unit});
    if (!started)
        return refuse(BlessToolStatus::serviceUnavailable, "systemd could not start " + unit);
    return BlessToolStatus::blessed;
}

bool HelperBlesser::runSystemctl(const std::vector<std::string>& arguments)
{
    try {
        auto child = ntfs::Subprocess::spawn({"/usr/bin/systemctl", arguments, std::nullopt});
        auto status = child.waitDrainingOutput([this](std::string_view output) { diagnostics_ << output; });
        return status == ntfs::ExitStatus{ntfs::ExitStatus::Kind::Exited, 0};
    } catch (const std::system_error& error) {
        diagnostics_ << "ntfs-bless-helper: " << error.what() << '\n';
        return false;
    }
}
