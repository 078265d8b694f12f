#include "HelperTool/Platform/Linux/PolkitCallerAuthority.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <map>

namespace ntfs {
namespace {

// The user may take a while at the password prompt.
constexpr auto interactiveTimeout = std::chrono::minutes(5);
constexpr auto plainTimeout = std::chrono::seconds(25);
constexpr std::uint32_t allowUserInteraction = 1;

using Subject = sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>>;
using Verdict = sdbus::Struct<bool, bool, std::map<std::string, std::string>>;

}  // namespace

PolkitCallerAuthority::PolkitCallerAuthority(sdbus::IConnection& connection)
    : bus_(sdbus::createProxy(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus")),
      polkit_(sdbus::createProxy(connection, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority"))
{
}

void PolkitCallerAuthority::userOf(const std::string& busName, std::function<void(std::optional<uid_t>)> answer)
{
    try {
        bus_->callMethodAsync("GetConnectionUnixUser")
            .onInterface("org.freedesktop.DBus")
            .withTimeout(plainTimeout)
            .withArguments(busName)
            .uponReplyInvoke([answer](const sdbus::Error* error, std::uint32_t uid) {
                answer(error ? std::nullopt : std::optional<uid_t>(static_cast<uid_t>(uid)));
            });
    } catch (const sdbus::Error&) {
        answer(std::nullopt);
    }
}

void PolkitCallerAuthority::isAuthorized(const std::string& busName, const std::string& action, bool allowInteraction,
                                         const std::string& cancellationId, std::function<void(bool)> answer)
{
    Subject subject{"system-bus-name", std::map<std::string, sdbus::Variant>{{"name", sdbus::Variant(busName)}}};
    std::map<std::string, std::string> details;
    std::uint32_t flags = allowInteraction ? allowUserInteraction : 0;
    try {
        polkit_->callMethodAsync("CheckAuthorization")
            .onInterface("org.freedesktop.PolicyKit1.Authority")
            .withTimeout(allowInteraction ? std::chrono::duration_cast<std::chrono::microseconds>(interactiveTimeout)
                                          : std::chrono::duration_cast<std::chrono::microseconds>(plainTimeout))
            .withArguments(subject, action, details, flags, cancellationId)
            .uponReplyInvoke([answer](const sdbus::Error* error, const Verdict& verdict) {
                answer(!error && std::get<0>(verdict));
            });
    } catch (const sdbus::Error&) {
        answer(false);
    }
}

void PolkitCallerAuthority::cancel(const std::string& cancellationId)
{
    try {
        polkit_->callMethodAsync("CancelCheckAuthorization")
            .onInterface("org.freedesktop.PolicyKit1.Authority")
            .withTimeout(plainTimeout)
            .withArguments(cancellationId)
            .uponReplyInvoke([](const sdbus::Error*) {});
    } catch (const sdbus::Error&) {
        // The question then ends with its own timeout.
    }
}

}  // namespace ntfs
