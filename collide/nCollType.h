#pragma once
// How a pair of collision classes is checked, and the class indices that stand for a
// type with every partner.
#include <cstdint>

enum nCollType : int32_t {
    COLLTYPE_IGNORE = 0,   // never checked
    COLLTYPE_QUICK = 1,    // bounding-sphere sweep only
    COLLTYPE_CONTACT = 2,  // sweep, then the shapes' test; one pair record
    COLLTYPE_EXACT = 3,    // sweep, then the shapes' test; every contact point reported
};

// An object in one of these classes gets the type (ignore, quick, contact, exact) with
// every partner, tested in this order over both indices.
enum nCollClassIndex : int32_t {
    COLLCLASS_ALWAYS_IGNORE = -1,
    COLLCLASS_ALWAYS_QUICK = -2,
    COLLCLASS_ALWAYS_CONTACT = -3,
    COLLCLASS_ALWAYS_EXACT = -4,
};

// "ignore", "quick", "contact" or "exact"; null for other values.
inline const char* nCollTypeToString(int type) {
    static const char* const names[] = {"ignore", "quick", "contact", "exact"};
    return type >= 0 && type <= 3 ? names[type] : nullptr;
}
