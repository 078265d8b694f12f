#include "PrivateBus.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace ntfs::test {
namespace {

// Debian's system.conf default policy, without the parts that need a real system
// (user switch, fork, pid file, activation helper, included directories).
constexpr const char* systemPolicy = R"(
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Properties"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Containers1"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus" send_member="UpdateActivationEnvironment"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Debug.Stats"/>
    <deny send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.systemd1.Activator"/>
  </policy>
  <policy user="root">
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.systemd1.Activator"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Monitoring"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Debug.Stats"/>
  </policy>
)";

constexpr const char* sessionPolicy = R"(
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
)";

std::string configText(const PrivateBusOptions& options, const std::filesystem::path& socket)
{
    bool system = options.kind == PrivateBusOptions::Kind::System;
    std::string text = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                       " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>\n";
    text += system ? "  <type>system</type>\n" : "  <type>session</type>\n";
    text += "  <listen>unix:path=" + socket.string() + "</listen>\n";
    text += system ? "  <auth>EXTERNAL</auth>\n" : "";
    text += system ? systemPolicy : sessionPolicy;
    text += options.extraPolicy;
    for (const auto& include : options.includes)
        text += "  <include>" + include.string() + "</include>\n";
    text += "</busconfig>\n";
    return text;
}

}  // namespace

PrivateBus::PrivateBus(PrivateBusOptions options) : options_(std::move(options))
{
    // Callers that dropped to another user must reach the socket too.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read
                                     | std::filesystem::perms::group_exec | std::filesystem::perms::others_read
                                     | std::filesystem::perms::others_exec);
    auto config = dir_ / "bus.conf";
    std::ofstream(config) << configText(options_, dir_ / "bus_socket");
    daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/usr/bin/dbus-daemon", "--config-file=" + config.string(), "--nofork", "--nopidfile",
        "--print-address=1"});
    auto line = daemon_->readLine();
    if (!line || line->rfind("unix:", 0) != 0)
        throw std::runtime_error("dbus-daemon did not start: " + line.value_or(daemon_->output()));
    address_ = *line;
}

PrivateBus::~PrivateBus() = default;

std::string PrivateBus::environmentEntry() const
{
    bool system = options_.kind == PrivateBusOptions::Kind::System;
    return std::string(system ? "DBUS_SYSTEM_BUS_ADDRESS=" : "DBUS_SESSION_BUS_ADDRESS=") + address_;
}

BusAddressOverride::BusAddressOverride(const PrivateBus& bus, PrivateBusOptions::Kind kind)
    : name_(kind == PrivateBusOptions::Kind::System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS")
{
    if (const char* old = std::getenv(name_.c_str())) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv(name_.c_str(), bus.address().c_str(), 1);
}

BusAddressOverride::~BusAddressOverride()
{
    if (hadPrevious_)
        setenv(name_.c_str(), previous_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

}  // namespace ntfs::test
