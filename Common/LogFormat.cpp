#include "Common/LogFormat.h"

namespace ntfs {

LogFormat& LogFormat::arg(const std::optional<std::string>& text)
{
    return put(text ? std::string_view(*text) : std::string_view("(null)"));
}

LogFormat& LogFormat::put(std::string_view value)
{
    for (std::size_t i = 0; i + 1 < rest_.size(); ++i) {
        if (rest_[i] == '%' && (rest_[i + 1] == '@' || rest_[i + 1] == 'd')) {
            done_.append(rest_.substr(0, i)).append(value);
            rest_.remove_prefix(i + 2);
            return *this;
        }
    }
    return *this;
}

}  // namespace ntfs
