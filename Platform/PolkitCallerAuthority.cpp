#include "PolkitCallerAuthority.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <map>

namespace ntfs {
namespace {

// The user may take a while at the password prompt.
constexpr auto interactiveTimeout = std::chrono::minutes(5);
constexpr auto plainTimeout = std::chrono::seconds(25);
constexpr std::uint32_t allowUserInteraction = 1;

}  // namespace

std::optional<uid_t> PolkitCallerAuthority::userOf(const std::string& busName)
{
    try {
        auto connection = sdbus::createSystemBusConnection();
        auto bus = sdbus::createProxy(*connection, "org.freedesktop.DBus", "/org/freedesktop/DBus");
        std::uint32_t uid = 0;
        bus->callMethod("GetConnectionUnixUser").onInterface("org.freedesktop.DBus").withArguments(busName).storeResultsTo(uid);
        return static_cast<uid_t>(uid);
    } catch (const sdbus::Error&) {
        return std::nullopt;
    }
}

bool PolkitCallerAuthority::isAuthorized(const std::string& busName, const std::string& action, bool allowInteraction)
{
    try {
        auto connection = sdbus::createSystemBusConnection();
        auto authority = sdbus::createProxy(*connection, "org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority");
        sdbus::Struct<std::string, std::map<std::string, sdbus::Variant>> subject{
            "system-bus-name", std::map<std::string, sdbus::Variant>{{"name", sdbus::Variant(busName)}}};
        std::map<std::string, std::string> details;
        std::uint32_t flags = allowInteraction ? allowUserInteraction : 0;
        sdbus::Struct<bool, bool, std::map<std::string, std::string>> result;
        authority->callMethod("CheckAuthorization")
            .onInterface("org.freedesktop.PolicyKit1.Authority")
            .withTimeout(allowInteraction ? std::chrono::duration_cast<std::chrono::microseconds>(interactiveTimeout)
                                          : std::chrono::duration_cast<std::chrono::microseconds>(plainTimeout))
            .withArguments(subject, action, details, flags, std::string())
            .storeResultsTo(result);
        return std::get<0>(result);
    } catch (const sdbus::Error&) {
        return false;
    }
}

}  // namespace ntfs
