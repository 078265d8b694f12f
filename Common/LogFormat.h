#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ntfs {

// Fills a fixed log text the way the system log prints it: each "%@" or "%d" takes the next
// argument in turn, an absent text prints as "(null)".
class LogFormat {
public:
    explicit LogFormat(std::string_view format) : rest_(format) {}

    LogFormat& arg(const std::optional<std::string>& text);
    LogFormat& arg(std::string_view text) { return put(text); }
    LogFormat& arg(const std::string& text) { return put(text); }
    LogFormat& arg(const char* text) { return put(text ? std::string_view(text) : "(null)"); }
    LogFormat& arg(long long number) { return put(std::to_string(number)); }
    LogFormat& arg(int number) { return put(std::to_string(number)); }

    std::string str() const { return done_ + std::string(rest_); }

private:
    LogFormat& put(std::string_view value);

    std::string done_;
    std::string_view rest_;
};

template <typename... Args>
std::string formatLog(std::string_view format, const Args&... args)
{
    LogFormat f(format);
    (f.arg(args), ...);
    return f.str();
}

}  // namespace ntfs
