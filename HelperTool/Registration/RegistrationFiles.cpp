#include "HelperTool/Registration/RegistrationFiles.h"

namespace ntfs {

std::optional<RegistrationFiles> RegistrationFiles::fromLaunchdJob(const PropertyList& job)
{
    RegistrationFiles files;
    auto label = job.string("Label");
    auto program = job.string("Program");
    auto services = job.dictionaryKeys("MachServices");
    if (!label || label->empty() || !program || program->empty() || !services || services->empty())
        return std::nullopt;
    files.label_ = *label;
    files.program_ = *program;
    files.serviceNames_ = *services;
    files.keepAlive_ = job.boolean("KeepAlive").value_or(false);
    return files;
}

std::vector<RegistrationFile> RegistrationFiles::files() const
{
    std::vector<RegistrationFile> result{
        {"etc/systemd/system/" + unitName(), unitFile()},
        {"usr/share/polkit-1/actions/" + label_ + ".policy", polkitPolicy()},
    };
    for (const auto& name : serviceNames_) {
        result.push_back({"usr/share/dbus-1/system-services/" + name + ".service", activationFile(name)});
        result.push_back({"usr/share/dbus-1/system.d/" + name + ".conf", busPolicy(name)});
    }
    return result;
}

std::string RegistrationFiles::unitFile() const
{
    return "[Unit]\n"
           "Description=NTFS driver privileged helper (" + label_ + ")\n"
           "\n"
           "[Service]\n"
           "Type=dbus\n"
           "BusName=" + serviceNames_.front() + "\n"
           "ExecStart=" + program_ + "\n"
           "Restart=" + (keepAlive_ ? "always" : "no") + "\n"
           // Log lines go to standard error, filed in the journal under the helper's name.
           "SyslogIdentifier=" + label_ + "\n"
           // Running requests get 20 s after SIGTERM; the helper ends on its own before this.
           "TimeoutStopSec=30\n"
           // A second line of defence behind the helper's own bounds, for the helper and the
           // disk tools it runs.
           "MemoryMax=512M\n"
           "TasksMax=256\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

std::string RegistrationFiles::activationFile(const std::string& serviceName) const
{
    return "[D-BUS Service]\n"
           "Name=" + serviceName + "\n"
           "Exec=" + program_ + "\n"
           "User=root\n"
           "SystemdService=" + unitName() + "\n";
}

std::string RegistrationFiles::busPolicy(const std::string& serviceName) const
{
    // Only root may own the name; anyone may send to it, since the helper asks polkit itself.
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <policy user=\"root\">\n"
           "    <allow own=\"" + serviceName + "\"/>\n"
           "  </policy>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"" + serviceName + "\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

std::string RegistrationFiles::polkitPolicy() const
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE policyconfig PUBLIC \"-//freedesktop//DTD PolicyKit Policy Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/PolicyKit/1/policyconfig.dtd\">\n"
           "<policyconfig>\n"
           "  <action id=\"" + std::string(polkitAction) + "\">\n"
           "    <description>Check, format, mount and unmount disks and load the NTFS driver</description>\n"
           "    <message>Authentication is required to manage disks with the NTFS driver's helper</message>\n"
           "    <defaults>\n"
           "      <allow_any>no</allow_any>\n"
           "      <allow_inactive>no</allow_inactive>\n"
           "      <allow_active>auth_admin_keep</allow_active>\n"
           "    </defaults>\n"
           "  </action>\n"
           "</policyconfig>\n";
}

}  // namespace ntfs
