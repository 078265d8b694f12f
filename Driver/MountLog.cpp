#include "Driver/MountLog.h"

#include <string_view>

namespace ntfs {
namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 character at the start of `s`, or 0.
std::size_t characterLength(std::string_view s)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = byte(0);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length > s.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) || (lead == 0xF0 && byte(1) < 0x90)
        || (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

void appendClean(std::string& out, std::string_view in)
{
    while (!in.empty()) {
        std::size_t length = characterLength(in);
        if (length == 0)
            out += replacement;
        else if (in[0] != '\0')
            out.append(in.substr(0, length));
        in.remove_prefix(length == 0 ? 1 : length);
    }
}

std::string utcTime(std::time_t time)
{
    std::tm parts{};
    char text[32] = "";
    if (::gmtime_r(&time, &parts))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace

std::string MountLog::text() const
{
    std::string out = utcTime(time) + " mount ";
    appendClean(out, device);
    out += " at ";
    appendClean(out, mountPoint);
    out += ": status " + std::to_string(status) + "\n";
    for (const auto& line : printed) {
        appendClean(out, line);
        out += '\n';
    }
    std::string_view said(driverOutput);
    while (said.ends_with('\n'))
        said.remove_suffix(1);
    if (!said.empty()) {
        out += "driver: ";
        appendClean(out, said.substr(0, driverOutputLimit));
        out += '\n';
    }
    return out;
}

}  // namespace ntfs
