#include <string_view>
#include <utility>

#include "settings/RegTools.h"

namespace RegTools {

std::vector<std::string> SplitList(const std::string& text)
{
    std::string_view rest(text);
    rest = rest.substr(0, rest.find('\0'));
    std::vector<std::string> items;
    std::string item;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c != '\r' && c != '\n') {
            item += c;
            continue;
        }
        if (c == '\r' && i + 1 < rest.size() && rest[i + 1] == '\n') {
            ++i;
        }
        items.push_back(std::move(item));
        item.clear();
    }
    // Text after the last break is an item; a break at the very end adds none.
    if (!item.empty()) {
        items.push_back(std::move(item));
    }
    return items;
}

std::string JoinList(const std::vector<std::string>& items)
{
    std::string text;
    for (const auto& item : items) {
        text += item;
        text += "\r\n";
    }
    return text;
}

} // namespace RegTools
