#include "Common/FileUrl.h"

#include <filesystem>
#include <string_view>

namespace ntfs {
namespace {

bool keptAsIs(unsigned char c)
{
    constexpr std::string_view allowed = "-._~/!$&'()*+,;=:@";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
        || allowed.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

std::string FileUrl::fromPath(const std::string& path)
{
    std::error_code ec;
    auto absolute = std::filesystem::absolute(path, ec);
    std::string full = ec ? path : absolute.string();
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : full) {
        if (keptAsIs(c)) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 0xF];
        }
    }
    return url;
}

}  // namespace ntfs
