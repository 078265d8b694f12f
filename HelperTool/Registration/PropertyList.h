#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ntfs {

// A parsed XML property list whose root is a dictionary, with typed look-ups by key.
class PropertyList {
public:
    static std::optional<PropertyList> fromXml(std::string_view xml);

    std::optional<std::string> string(const char* key) const;
    std::optional<bool> boolean(const char* key) const;
    std::optional<std::vector<std::string>> strings(const char* key) const;  // an array of strings
    std::optional<std::vector<std::string>> dictionaryKeys(const char* key) const;
    std::vector<std::string> keys() const;

private:
    struct Deleter {
        void operator()(void* node) const;
    };
    explicit PropertyList(void* root) : root_(root) {}

    std::unique_ptr<void, Deleter> root_;
};

}  // namespace ntfs
