#pragma once

#include <cstdint>

namespace ntfs::AuthorizationStatus {

// Status values of authorizations and privileged launches, as the setup app compares them.
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t denied = -60005;              // no consent: not authorized, or authentication failed
inline constexpr std::int32_t canceled = -60006;            // the user dismissed the consent prompt
inline constexpr std::int32_t toolExecuteFailure = -60031;  // the tool (or the elevator) could not be started
inline constexpr std::int32_t functionUnavailable = -70001; // no way to run a tool as root on this system

}  // namespace ntfs::AuthorizationStatus
