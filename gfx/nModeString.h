#pragma once
#include <string>
#include <vector>

// A display-mode string such as "type(full)-w(800)-h(600)" split into its items. The
// graphics server reads it and the device server checks it first; both must see the
// same items, so the splitting lives here once.
class nModeString {
public:
    struct Item {
        std::string text;   // the item as written
        std::string key;    // text before '(' (the whole item without one)
        std::string value;  // text between '(' and the first ')' after it
        bool wellFormed;    // plain "key", or "key(value)" with no other parenthesis
    };

    // Items in order, empty ones skipped; of several items with one key only the first.
    static std::vector<Item> Split(const char* text);
};
