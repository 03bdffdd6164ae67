#include "gfx/nModeString.h"

#include <algorithm>

std::vector<nModeString::Item> nModeString::Split(const char* text) {
    std::string s = text ? text : "";
    std::vector<Item> items;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find('-', start);
        if (end == std::string::npos) end = s.size();
        std::string item = s.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;

        Item it{item, item, "", true};
        size_t open = item.find('(');
        if (open != std::string::npos) {
            it.key = item.substr(0, open);
            size_t close = item.find(')', open + 1);
            it.value = item.substr(open + 1, (close == std::string::npos ? item.size() : close) - open - 1);
            it.wellFormed = item.find_first_of("()", open + 1) == item.size() - 1 && item.back() == ')';
        } else {
            it.wellFormed = item.find(')') == std::string::npos;
        }
        bool seen = std::any_of(items.begin(), items.end(), [&](const Item& i) { return i.key == it.key; });
        if (!seen) items.push_back(std::move(it));
    }
    return items;
}
