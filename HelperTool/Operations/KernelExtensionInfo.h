#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace ntfs {

// The loaded-module information as plain values; the service turns it into D-Bus variants
// (s, t, i, b, as).
using KernelExtensionInfoValue = std::variant<std::string, std::uint64_t, std::int32_t, bool, std::vector<std::string>>;
using KernelExtensionInfo = std::map<std::string, KernelExtensionInfoValue>;
using KernelExtensionInfos = std::map<std::string, KernelExtensionInfo>;  // keyed by identifier

}  // namespace ntfs
