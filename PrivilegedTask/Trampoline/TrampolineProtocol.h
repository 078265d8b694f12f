#pragma once

#include <string_view>

namespace ntfs::TrampolineProtocol {

// Written by the trampoline on its standard output just before it execs the tool: everything the
// stream carried before it came from the elevator, everything after from the tool.
inline constexpr char startMarkerText[] = "\0qv-privileged-task:started\0";
inline constexpr std::string_view startMarker{startMarkerText, sizeof startMarkerText - 1};

// Exit code of the trampoline when it cannot start the tool, before the marker. Never 126 or 127,
// which pkexec reserves for a dismissed prompt and a refusal.
inline constexpr int cannotStartTool = 125;

inline constexpr std::string_view executableName = "ntfs-privileged-trampoline";

}  // namespace ntfs::TrampolineProtocol
