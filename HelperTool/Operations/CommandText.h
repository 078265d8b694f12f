#pragma once

#include "HelperTool/Platform/CommandRunner.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace ntfs {

// Turns what a command wrote into the text of a reply.
class CommandText {
public:
    // The output as UTF-8: no output gives "", bytes that are not UTF-8 give no text. The bus
    // cannot carry NUL or Unicode noncharacters in a string, so those become U+FFFD rather than
    // failing the whole reply. A text longer than `limit` bytes, or an output the runner cut, is
    // cut back to its last whole character within the limit and ends with a note saying so.
    static std::optional<std::string> fromOutput(CommandRun run, std::size_t limit);

    // What of a reply text goes into its log line: the system log keeps no more than some tens of
    // KiB of one line anyway, so a longer text is cut there, with a note of its full length.
    static constexpr std::size_t logLimit = 64 * 1024;
    static std::optional<std::string> forLog(const std::optional<std::string>& text);

    // A readable description of a failed start, for the log and the reply.
    static std::string describeStartFailure(const std::string& program, std::error_code error);

    // Length of the longest prefix that does not end inside a multi-byte sequence.
    static std::size_t wholeCharacterPrefix(std::string_view bytes);
    static bool isValidUtf8(std::string_view bytes);

private:
    enum class Scan { Invalid, Sendable, NeedsReplacement };
    static Scan scan(std::string_view bytes);
    static std::string replaceUnsendable(std::string text);
};

}  // namespace ntfs
