#include "tests/support/PrivateBus.h"

#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace ntfs::test {
namespace {

// Debian's system.conf default policy, without what needs a real system or only root may use.
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
    text += system ? "  <type>system</type>\n  <auth>EXTERNAL</auth>\n" : "  <type>session</type>\n";
    text += "  <listen>unix:path=" + socket.string() + "</listen>\n" + (system ? systemPolicy : sessionPolicy);
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
    ::chmod(dir_.path().c_str(), 0755);
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

}  // namespace ntfs::test
