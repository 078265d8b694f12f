#include "HelperTool/Registration/PropertyList.h"

#include <cstdlib>
#include <plist/plist.h>

namespace ntfs {
namespace {

std::vector<std::string> dictionaryKeysOf(plist_t dictionary)
{
    std::vector<std::string> keys;
    plist_dict_iter iterator = nullptr;
    plist_dict_new_iter(dictionary, &iterator);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dictionary, iterator, &key, &value);
        if (!key)
            break;
        keys.emplace_back(key);
        std::free(key);
    }
    std::free(iterator);
    return keys;
}

std::optional<std::string> stringOf(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    char* value = nullptr;
    plist_get_string_val(node, &value);
    std::string result = value ? value : "";
    std::free(value);
    return result;
}

}  // namespace

void PropertyList::Deleter::operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }

std::optional<PropertyList> PropertyList::fromXml(std::string_view xml)
{
    if (xml.empty() || xml.size() > UINT32_MAX)
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    if (!root)
        return std::nullopt;
    if (plist_get_node_type(root) != PLIST_DICT) {
        plist_free(root);
        return std::nullopt;
    }
    return PropertyList(root);
}

std::optional<std::string> PropertyList::string(const char* key) const
{
    return stringOf(plist_dict_get_item(root_.get(), key));
}

std::optional<bool> PropertyList::boolean(const char* key) const
{
    plist_t node = plist_dict_get_item(root_.get(), key);
    if (!node || plist_get_node_type(node) != PLIST_BOOLEAN)
        return std::nullopt;
    uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

std::optional<std::vector<std::string>> PropertyList::strings(const char* key) const
{
    plist_t node = plist_dict_get_item(root_.get(), key);
    if (!node || plist_get_node_type(node) != PLIST_ARRAY)
        return std::nullopt;
    std::vector<std::string> values;
    for (uint32_t i = 0; i < plist_array_get_size(node); ++i) {
        auto value = stringOf(plist_array_get_item(node, i));
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

std::optional<std::vector<std::string>> PropertyList::dictionaryKeys(const char* key) const
{
    plist_t node = plist_dict_get_item(root_.get(), key);
    if (!node || plist_get_node_type(node) != PLIST_DICT)
        return std::nullopt;
    return dictionaryKeysOf(node);
}

std::vector<std::string> PropertyList::keys() const { return dictionaryKeysOf(root_.get()); }

}  // namespace ntfs
