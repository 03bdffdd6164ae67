#include "platform/luaguard/LuaGuards.h"

#include <lua5.4/lauxlib.h>
#include <lua5.4/lua.h>
#include <lua5.4/lualib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace luaguard {

namespace {

uint64_t Times(uint64_t a, uint64_t b) {
    if (a != 0 && b > UINT64_MAX / a) return UINT64_MAX;
    return a * b;
}

uint64_t Plus(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

uint64_t Bytes(uint64_t n) { return n / LuaGuards::BytesAnInstruction; }

size_t Length(lua_State* L, int index) { return lua_type(L, index) == LUA_TSTRING ? lua_rawlen(L, index) : 0; }

// An integer argument, `fallback` when it is absent; false for anything else (the
// library raises its own error then).
bool Integer(lua_State* L, int index, lua_Integer fallback, lua_Integer& out) {
    if (lua_isnoneornil(L, index)) {
        out = fallback;
        return true;
    }
    int ok = 0;
    out = lua_tointegerx(L, index, &ok);
    return ok != 0;
}

// The values string.byte and utf8.codepoint give for positions i..j of the string at 1,
// with Lua's reading of negative and out-of-range positions.
uint64_t Slice(lua_State* L) {
    const auto length = lua_Integer(Length(L, 1));
    lua_Integer i = 0, j = 0;
    if (!Integer(L, 2, 1, i)) return 1;
    if (i == 0 || i < -length) i = 1;
    else if (i < 0) i = length + i + 1;
    if (!Integer(L, 3, i, j)) return 1;
    if (j > length) j = length;
    else if (j < -length) j = 0;
    else if (j < 0) j = length + j + 1;
    return j >= i ? uint64_t(j - i) + 1 : 0;
}

// Slots i..j of the table at 1 as table.concat (i at 3) and table.unpack (i at 2) read them.
uint64_t Slots(lua_State* L, int first) {
    lua_Integer i = 0, j = 0;
    if (!Integer(L, first, 1, i)) return 1;
    if (lua_isnoneornil(L, first + 1)) {
        if (lua_type(L, 1) != LUA_TTABLE) return 1;
        j = luaL_len(L, 1);
    } else if (!Integer(L, first + 1, 0, j)) {
        return 1;
    }
    return j >= i ? uint64_t(j) - uint64_t(i) + 1 : 0;
}

// table.concat's slots whose texts are summed before; more cost more than any budget.
constexpr uint64_t MaxSlotsSummed = 1u << 20;

uint64_t Pattern(lua_State* L, bool plain) {
    if (lua_type(L, 1) != LUA_TSTRING || lua_type(L, 2) != LUA_TSTRING) return 1;
    size_t lp = 0;
    const char* p = lua_tolstring(L, 2, &lp);
    return LuaGuards::PatternCost(lua_rawlen(L, 1), p, lp, plain);
}

uint64_t StringArguments(lua_State* L) {
    uint64_t bytes = 0;
    for (int i = 1, n = lua_gettop(L); i <= n; ++i) bytes += Length(L, i);
    return Plus(uint64_t(lua_gettop(L)), Bytes(bytes));
}

// A scan or copy of the string at 1.
uint64_t Scan(lua_State* L) { return 1 + Bytes(Length(L, 1)); }

uint64_t Arguments(lua_State* L) { return uint64_t(1 + lua_gettop(L)); }

uint64_t Shift(lua_State* L) {
    // A __len of its own would let the library shift any number of slots in C.
    if (lua_type(L, 1) == LUA_TTABLE && lua_getmetatable(L, 1)) {
        return uint64_t(luaL_error(L, "table.insert and table.remove take tables without metatables here"));
    }
    return lua_type(L, 1) == LUA_TTABLE ? lua_rawlen(L, 1) + 1 : 1;
}

using Cost = uint64_t (*)(lua_State* L);

struct Guard {
    const char* library;
    const char* name;
    Cost cost;  // null for table.sort, which is charged by comparison
    bool iterates = false;  // makes an iterator whose calls are charged
    bool gives = false;  // gives back values it did not make: not charged after
};

const Guard guards[] = {
    {LUA_STRLIBNAME, "find", [](lua_State* L) { return Pattern(L, lua_toboolean(L, 4) != 0); }},
    {LUA_STRLIBNAME, "match", [](lua_State* L) { return Pattern(L, false); }},
    // Making the iterator scans nothing; each of its calls is charged (GuardedIterator).
    {LUA_STRLIBNAME, "gmatch", [](lua_State*) -> uint64_t { return 1; }, true},
    {LUA_STRLIBNAME, "gsub",
     [](lua_State* L) {
         // Every match may copy the replacement.
         return Plus(Pattern(L, false), Times(Length(L, 1) + 1, 1 + Bytes(Length(L, 3))));
     }},
    {LUA_STRLIBNAME, "rep",
     [](lua_State* L) -> uint64_t {
         // An empty string repeated loops n times without copying a byte.
         int isNumber = 0;
         const lua_Integer n = lua_tointegerx(L, 2, &isNumber);
         if (!isNumber || n <= 0) return 1;
         return Plus(uint64_t(n), Bytes(Times(uint64_t(n), Length(L, 1) + Length(L, 3))));
     }},
    {LUA_STRLIBNAME, "upper", Scan},
    {LUA_STRLIBNAME, "lower", Scan},
    {LUA_STRLIBNAME, "reverse", Scan},
    {LUA_STRLIBNAME, "sub", Scan},
    {LUA_STRLIBNAME, "byte", [](lua_State* L) { return 1 + Slice(L); }},
    {LUA_STRLIBNAME, "char", Arguments},
    {LUA_STRLIBNAME, "format", [](lua_State* L) { return 1 + StringArguments(L); }},
    {LUA_STRLIBNAME, "pack", [](lua_State* L) { return Plus(1 + Length(L, 1), StringArguments(L)); }},
    {LUA_STRLIBNAME, "unpack", [](lua_State* L) { return 1 + Length(L, 1) + Bytes(Length(L, 2)); }},
    {LUA_STRLIBNAME, "packsize", [](lua_State* L) { return uint64_t(1 + Length(L, 1)); }},
    {LUA_TABLIBNAME, "concat",
     [](lua_State* L) {
         // The bytes it copies are known before: those of the slots' texts.
         const uint64_t slots = Slots(L, 3);
         uint64_t bytes = 0;
         lua_Integer i = 1;
         if (slots <= MaxSlotsSummed && lua_type(L, 1) == LUA_TTABLE && Integer(L, 3, 1, i)) {
             for (uint64_t k = 0; k < slots; ++k) {
                 lua_rawgeti(L, 1, i + lua_Integer(k));
                 bytes += Length(L, -1);
                 lua_pop(L, 1);
             }
         }
         return Plus(Plus(1, Bytes(bytes)), Times(slots, 1 + Bytes(Length(L, 2))));
     }},
    {LUA_TABLIBNAME, "unpack", [](lua_State* L) { return Plus(1, Slots(L, 2)); }, false, true},
    {LUA_TABLIBNAME, "pack", Arguments, false, true},
    {LUA_TABLIBNAME, "move",
     [](lua_State* L) -> uint64_t {
         int okFrom = 0, okTo = 0;
         const lua_Integer from = lua_tointegerx(L, 2, &okFrom);
         const lua_Integer to = lua_tointegerx(L, 3, &okTo);
         return okFrom && okTo && to >= from ? uint64_t(to) - uint64_t(from) + 1 : 1;
     }},
    {LUA_TABLIBNAME, "insert", Shift},
    {LUA_TABLIBNAME, "remove", Shift},
    {LUA_TABLIBNAME, "sort", nullptr},
    {LUA_UTF8LIBNAME, "char", Arguments},
    {LUA_UTF8LIBNAME, "codepoint", [](lua_State* L) { return 1 + Slice(L); }},
    {LUA_UTF8LIBNAME, "len", Scan},
    {LUA_UTF8LIBNAME, "offset", Scan},
    // A number read from text scans the whole text.
    {LUA_GNAME, "tonumber", Scan},
};

// What Install keeps for every guard: the owner's charge and whether a run is charged.
struct Box {
    LuaGuards::Charge charge;
    LuaGuards::Charging charging;
};

void ChargeFrom(lua_State* L, int box, uint64_t cost) { static_cast<Box*>(lua_touserdata(L, box))->charge(L, cost); }

bool ChargingAt(lua_State* L, int box) { return static_cast<Box*>(lua_touserdata(L, box))->charging(L); }

// The bytes of the strings among the values from `first` to the top: what a call made.
uint64_t Made(lua_State* L, int first) {
    uint64_t bytes = 0;
    for (int i = first, n = lua_gettop(L); i <= n; ++i) bytes += Length(L, i);
    return Bytes(bytes);
}

// Calls the function at `function` (an upvalue index) with the values on the stack in
// place, and gives back what it returned.
int CallThrough(lua_State* L, int function) {
    lua_pushvalue(L, function);
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

int GuardedIterator(lua_State* L);

// Upvalues: the library's function, its Guard, the charge.
int Guarded(lua_State* L) {
    if (!ChargingAt(L, lua_upvalueindex(3))) return CallThrough(L, lua_upvalueindex(1));
    const auto* guard = static_cast<const Guard*>(lua_touserdata(L, lua_upvalueindex(2)));
    ChargeFrom(L, lua_upvalueindex(3), guard->cost(L));
    if (guard->iterates) {
        // The subject and the pattern stay with the iterator, which charges each call.
        lua_settop(L, 3);
        lua_pushvalue(L, lua_upvalueindex(1));
        for (int i = 1; i <= 3; ++i) lua_pushvalue(L, i);
        lua_call(L, 3, 1);
        lua_pushvalue(L, 1);
        lua_pushvalue(L, 2);
        lua_pushinteger(L, 0);
        lua_pushvalue(L, lua_upvalueindex(3));
        lua_pushcclosure(L, GuardedIterator, 5);
        return 1;
    }
    const int results = CallThrough(L, lua_upvalueindex(1));
    if (!guard->gives) ChargeFrom(L, lua_upvalueindex(3), Made(L, 1));
    return results;
}

// A gmatch iterator's call scans the subject from where the last match ended, up to its
// end when nothing more matches: charged as a pattern call over what may be left. Where
// the last match ended is not told; a string it gave back lies within the match, and a
// position capture tells where the match reached, which bounds it from below.
// Upvalues: the iterator, the subject, the pattern, that bound, the charge.
int GuardedIterator(lua_State* L) {
    if (!ChargingAt(L, lua_upvalueindex(5))) return CallThrough(L, lua_upvalueindex(1));
    const size_t subject = lua_rawlen(L, lua_upvalueindex(2));
    size_t length = 0;
    const char* pattern = lua_tolstring(L, lua_upvalueindex(3), &length);
    const auto from = size_t(lua_tointeger(L, lua_upvalueindex(4)));
    ChargeFrom(L, lua_upvalueindex(5), LuaGuards::PatternCost(subject - std::min(from, subject), pattern, length, false));
    lua_settop(L, 0);
    const int results = CallThrough(L, lua_upvalueindex(1));
    size_t reached = from, longest = 0;
    for (int i = 1; i <= results; ++i) {
        if (lua_type(L, i) == LUA_TSTRING) longest = std::max(longest, size_t(lua_rawlen(L, i)));
        else if (lua_isinteger(L, i) && lua_tointeger(L, i) > 1) reached = std::max(reached, size_t(lua_tointeger(L, i) - 1));
    }
    lua_pushinteger(L, lua_Integer(std::min(subject, std::max(reached, from + longest))));
    lua_replace(L, lua_upvalueindex(4));
    ChargeFrom(L, lua_upvalueindex(5), Made(L, 1));
    return results;
}

// table.sort's comparison: each one is charged, a long string's by its bytes, which the
// library compares in C. Upvalues: the script's comparator (or nil), the charge.
int Compare(lua_State* L) {
    uint64_t cost = 1;
    if (lua_type(L, 1) == LUA_TSTRING && lua_type(L, 2) == LUA_TSTRING) {
        cost += Bytes(std::min(lua_rawlen(L, 1), lua_rawlen(L, 2)));
    }
    ChargeFrom(L, lua_upvalueindex(2), cost);
    if (lua_isnil(L, lua_upvalueindex(1))) {
        lua_pushboolean(L, lua_compare(L, 1, 2, LUA_OPLT));
        return 1;
    }
    lua_settop(L, 2);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 2, 1);
    return 1;
}

// n log n comparisons up front, then each as it happens: a comparator, a metamethod or
// long strings may make one comparison cost much more than an instruction.
int GuardedSort(lua_State* L) {
    if (!ChargingAt(L, lua_upvalueindex(3))) return CallThrough(L, lua_upvalueindex(1)), 0;
    const bool sortable = lua_type(L, 1) == LUA_TTABLE && (lua_isnoneornil(L, 2) || lua_isfunction(L, 2));
    if (sortable) {
        const lua_Integer length = luaL_len(L, 1);
        const uint64_t n = length > 0 ? uint64_t(length) : 0;
        uint64_t log = 1;
        while (log < 63 && (uint64_t(1) << log) < n) ++log;
        ChargeFrom(L, lua_upvalueindex(3), Plus(1, Times(n, log)));
        lua_settop(L, 2);
        lua_pushvalue(L, lua_upvalueindex(3));
        lua_pushcclosure(L, Compare, 2);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, 0);
    return 0;
}

}  // namespace

uint64_t LuaGuards::PatternCost(size_t subject, const char* p, size_t length, bool plain) {
    if (plain) return subject + length + 1;
    bool special = false;
    int quantifiers = 0;
    for (size_t i = 0; i < length; ++i) {
        const char c = p[i];
        if (c == '%') {
            special = true;
            if (i + 1 < length && p[i + 1] == 'b') ++quantifiers;
            ++i;
        } else if (std::strchr("*+-?", c) != nullptr) {
            special = true;
            ++quantifiers;
        } else if (std::strchr("^$.([", c) != nullptr) {
            special = true;
        }
    }
    if (!special) return subject + length + 1;
    // A step of the matcher (a call into it at a subject byte) takes a few instructions' time.
    uint64_t cost = Times(Times(subject + 1, length + 1), InstructionsAStep);
    for (int q = 0; q < quantifiers && cost != UINT64_MAX; ++q) cost = Times(cost, subject + 1);
    return cost;
}

namespace {

// The level of a long bracket ("[", "="s, "[") at `at`, -1 when there is none.
int LongBracket(const char* p, size_t n, size_t at) {
    if (at >= n || p[at] != '[') return -1;
    size_t i = at + 1;
    while (i < n && p[i] == '=') ++i;
    return i < n && p[i] == '[' ? int(i - at - 1) : -1;
}

// Past the long bracket of `level` opened at `at`: its close, or the text's end.
size_t PastLong(const char* p, size_t n, size_t at, int level) {
    for (size_t i = at + size_t(level) + 2; i < n; ++i) {
        if (p[i] != ']') continue;
        size_t j = i + 1;
        while (j < n && p[j] == '=') ++j;
        if (j < n && p[j] == ']' && int(j - i - 1) == level) return j + 1;
    }
    return n;
}

bool WordByte(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

}  // namespace

LuaGuards::CompileWork LuaGuards::MeasureCompile(const char* p, size_t n) {
    uint64_t colons = 0, jumps = 0;
    for (size_t i = 0; i < n;) {
        const char c = p[i];
        if (c == '-' && i + 1 < n && p[i + 1] == '-') {
            const int level = LongBracket(p, n, i + 2);
            if (level >= 0) {
                i = PastLong(p, n, i + 2, level);
            } else {
                const void* end = std::memchr(p + i, '\n', n - i);
                i = end ? size_t(static_cast<const char*>(end) - p) + 1 : n;
            }
        } else if (c == '"' || c == '\'') {
            for (++i; i < n && p[i] != c && p[i] != '\n'; ++i) {
                if (p[i] == '\\') ++i;
            }
            ++i;
        } else if (const int level = LongBracket(p, n, i); level >= 0) {
            i = PastLong(p, n, i, level);
        } else if (c == ':' && i + 1 < n && p[i + 1] == ':') {
            ++colons;
            i += 2;
        } else if (WordByte(c)) {
            const size_t start = i;
            while (i < n && WordByte(p[i])) ++i;
            const std::string_view word(p + start, i - start);
            if (word == "goto" || word == "break") ++jumps;
        } else {
            ++i;
        }
    }
    // A label is two "::"; each new one is compared with all before it.
    const uint64_t met = (colons + 1) / 2 + jumps;
    return CompileWork{n, Times(met, met > 0 ? met - 1 : 0) / 2};
}

std::chrono::nanoseconds LuaGuards::CompileTime(const CompileWork& work, std::chrono::nanoseconds aByte,
                                                std::chrono::nanoseconds aCompare) {
    constexpr uint64_t Far = uint64_t(1) << 40;
    return aByte * int64_t(std::min(work.bytes, Far)) + aCompare * int64_t(std::min(work.compares, Far));
}

const char* LuaGuards::NextPiece(const char* text, size_t size, size_t& read, size_t* piece) {
    *piece = std::min(size - read, CompilePiece);
    if (*piece == 0) return nullptr;
    const char* at = text + read;
    read += *piece;
    return at;
}

void LuaGuards::Install(lua_State* L, Charge charge, Charging charging) {
    *static_cast<Box*>(lua_newuserdatauv(L, sizeof(Box), 0)) = Box{charge, charging};
    luaL_getsubtable(L, LUA_REGISTRYINDEX, LUA_LOADED_TABLE);
    for (const Guard& guard : guards) {
        if (lua_getfield(L, -1, guard.library) != LUA_TTABLE) {
            lua_pop(L, 1);
            continue;
        }
        if (lua_getfield(L, -1, guard.name) != LUA_TFUNCTION) {
            lua_pop(L, 2);
            continue;
        }
        lua_pushlightuserdata(L, const_cast<Guard*>(&guard));
        lua_pushvalue(L, -5);
        lua_pushcclosure(L, guard.cost ? Guarded : GuardedSort, 3);
        lua_setfield(L, -2, guard.name);
        lua_pop(L, 1);
    }
    lua_pop(L, 2);
}

}  // namespace luaguard
