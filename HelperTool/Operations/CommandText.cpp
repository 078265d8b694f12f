#include "HelperTool/Operations/CommandText.h"

#include "Common/LogFormat.h"

#include <cstdint>
#include <cstring>

namespace ntfs {
namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Length of the sequence a lead byte starts, or 0 for a byte that cannot start one.
std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// Decodes the character at `at`; returns its length, or 0 when the bytes there are not UTF-8
// (incomplete, overlong, a surrogate, beyond U+10FFFF).
std::size_t decodeAt(std::string_view bytes, std::size_t at, char32_t& character)
{
    auto lead = static_cast<unsigned char>(bytes[at]);
    std::size_t length = sequenceLength(lead);
    if (length == 0 || at + length > bytes.size())
        return 0;
    if (length == 1) {
        character = lead;
        return 1;
    }
    character = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        auto byte = static_cast<unsigned char>(bytes[at + i]);
        if (!isContinuation(byte))
            return 0;
        character = (character << 6) | (byte & 0x3F);
    }
    constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (character < smallest[length] || character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF))
        return 0;
    return length;
}

// What a bus string may not hold although it is valid UTF-8.
bool isUnsendable(char32_t character)
{
    return character == 0 || (character >= 0xFDD0 && character <= 0xFDEF) || (character & 0xFFFE) == 0xFFFE;
}

}  // namespace

CommandText::Scan CommandText::scan(std::string_view bytes)
{
    constexpr std::uint64_t highBits = 0x8080808080808080;
    constexpr std::uint64_t lowBits = 0x0101010101010101;
    Scan result = Scan::Sendable;
    char32_t character = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        // Eight ASCII bytes, none of them NUL, at a time: by far the commonest output.
        if (std::uint64_t word; at + 8 <= bytes.size()) {
            std::memcpy(&word, bytes.data() + at, 8);
            if ((word & highBits) == 0 && ((word - lowBits) & ~word & highBits) == 0) {
                at += 8;
                continue;
            }
        }
        std::size_t length = decodeAt(bytes, at, character);
        if (length == 0)
            return Scan::Invalid;
        if (isUnsendable(character))
            result = Scan::NeedsReplacement;
        at += length;
    }
    return result;
}

bool CommandText::isValidUtf8(std::string_view bytes) { return scan(bytes) != Scan::Invalid; }

std::size_t CommandText::wholeCharacterPrefix(std::string_view bytes)
{
    std::size_t start = bytes.size();
    for (std::size_t back = 0; back < 4 && start > 0; ++back) {
        --start;
        if (!isContinuation(static_cast<unsigned char>(bytes[start]))) {
            std::size_t length = sequenceLength(static_cast<unsigned char>(bytes[start]));
            return length > 0 && start + length > bytes.size() ? start : bytes.size();
        }
    }
    return bytes.size();
}

std::string CommandText::replaceUnsendable(std::string text)
{
    std::string result;
    bool replaced = false;
    char32_t character = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t length = decodeAt(text, at, character);
        if (isUnsendable(character)) {
            if (!replaced)
                result.assign(text, 0, at);
            replaced = true;
            result += replacementCharacter;
        } else if (replaced) {
            result.append(text, at, length);
        }
        at += length;
    }
    return replaced ? result : text;
}

std::optional<std::string> CommandText::fromOutput(CommandRun run, std::size_t limit)
{
    bool truncated = run.truncated();
    std::size_t written = run.output.size() + run.droppedBytes;
    std::string text = std::move(run.output);
    if (truncated)
        text.resize(wholeCharacterPrefix(text));
    Scan found = scan(text);
    if (found == Scan::Invalid)
        return std::nullopt;
    if (found == Scan::NeedsReplacement)
        text = replaceUnsendable(std::move(text));
    if (text.size() > limit) {  // replacements of NUL grew it
        text.resize(wholeCharacterPrefix(std::string_view(text).substr(0, limit)));
        truncated = true;
    }
    if (truncated) {
        if (!text.empty() && text.back() != '\n')
            text += '\n';
        text += formatLog("[output truncated by the helper: the command wrote %d bytes, more than one reply carries]\n",
                          static_cast<long long>(written));
    }
    return text;
}

std::optional<std::string> CommandText::forLog(const std::optional<std::string>& text)
{
    if (!text || text->size() <= logLimit)
        return text;
    std::string shown = text->substr(0, wholeCharacterPrefix(std::string_view(*text).substr(0, logLimit)));
    return shown + formatLog("... [%d bytes in all]", static_cast<long long>(text->size()));
}

std::string CommandText::describeStartFailure(const std::string& program, std::error_code error)
{
    return formatLog("cannot launch %@: %@ (errno %d)", program, error.message(), error.value());
}

}  // namespace ntfs
