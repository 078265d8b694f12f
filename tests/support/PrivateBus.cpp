#include "tests/support/PrivateBus.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>

namespace ntfs::test {
namespace {

void fill(std::string& text, std::string_view placeholder, const std::string& value)
{
    text.replace(text.find(placeholder), placeholder.size(), value);
}

std::string configText(const PrivateBusOptions& options, const std::filesystem::path& socket)
{
    auto file = options.kind == PrivateBusOptions::Kind::System ? "system-bus.conf.in" : "session-bus.conf.in";
    std::ifstream in(std::filesystem::path(NTFS_BUS_CONFIG_DIR) / file);
    std::string text{std::istreambuf_iterator<char>(in), {}};
    std::string includes;
    for (const auto& include : options.includes)
        includes += "  <include>" + include.string() + "</include>";
    fill(text, "@SOCKET@", socket.string());
    fill(text, "@POLICY@", options.extraPolicy);
    fill(text, "@INCLUDES@", includes);
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
