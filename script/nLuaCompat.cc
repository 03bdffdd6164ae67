#include "script/nLuaCompat.h"

#include <cstring>

namespace {
const char* const kTagTables = "nlua.tags";   // tag number -> metatable
const char* const kTagOf = "nlua.tagof";      // metatable -> tag number
const char* const kTagCount = "nlua.tagcount";

// Pushes registry[name], creating an empty table there first when needed.
void PushRegistryTable(lua_State* L, const char* name) {
    if (lua_getfield(L, LUA_REGISTRYINDEX, name) != LUA_TTABLE) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_setfield(L, LUA_REGISTRYINDEX, name);
    }
}
}  // namespace

void nLuaCompat::Open(lua_State* L) {
    lua_register(L, "newtag", l_newtag);
    lua_register(L, "tag", l_tag);
    lua_register(L, "settag", l_settag);
    lua_register(L, "settagmethod", l_settagmethod);
    lua_register(L, "gettagmethod", l_gettagmethod);
}

int nLuaCompat::NewTag(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, kTagCount);
    int tag = lua_isinteger(L, -1) ? static_cast<int>(lua_tointeger(L, -1)) : FirstUserTag;
    lua_pop(L, 1);
    lua_pushinteger(L, tag + 1);
    lua_setfield(L, LUA_REGISTRYINDEX, kTagCount);

    lua_newtable(L);  // the metatable
    PushRegistryTable(L, kTagTables);
    lua_pushvalue(L, -2);
    lua_rawseti(L, -2, tag);
    lua_pop(L, 1);
    PushRegistryTable(L, kTagOf);
    lua_pushvalue(L, -2);
    lua_pushinteger(L, tag);
    lua_rawset(L, -3);
    lua_pop(L, 2);
    return tag;
}

void nLuaCompat::PushTagTable(lua_State* L, int tag) {
    PushRegistryTable(L, kTagTables);
    lua_rawgeti(L, -1, tag);
    lua_remove(L, -2);
}

void nLuaCompat::AddTagMetatable(lua_State* L, int index, int tag) {
    index = lua_absindex(L, index);
    PushRegistryTable(L, kTagOf);
    // Weak keys: a value's own metatable goes with the value.
    if (!lua_getmetatable(L, -1)) {
        lua_newtable(L);
        lua_pushstring(L, "k");
        lua_setfield(L, -2, "__mode");
        lua_setmetatable(L, -2);
    } else {
        lua_pop(L, 1);
    }
    lua_pushvalue(L, index);
    lua_pushinteger(L, tag);
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

int nLuaCompat::TagOf(lua_State* L, int index) {
    switch (lua_type(L, index)) {
    case LUA_TNIL: return TagNil;
    case LUA_TNUMBER: return TagNumber;
    case LUA_TSTRING: return TagString;
    case LUA_TTABLE: return TagTable;
    case LUA_TFUNCTION: return TagFunction;
    case LUA_TUSERDATA: {
        if (!lua_getmetatable(L, index)) return TagNone;
        PushRegistryTable(L, kTagOf);
        lua_pushvalue(L, -2);
        lua_rawget(L, -2);
        // A metatable that is not one of ours reads as a plain userdata.
        int tag = lua_isinteger(L, -1) ? static_cast<int>(lua_tointeger(L, -1)) : TagUserdata;
        lua_pop(L, 3);
        return tag;
    }
    default: return TagNone;  // booleans, threads and light userdata have no tag
    }
}

const char* nLuaCompat::MetaField(const char* event) {
    static const struct { const char* event; const char* field; } map[] = {
        {"gettable", "__index"}, {"index", "__index"},   {"settable", "__newindex"},
        {"function", "__call"},  {"add", "__add"},       {"sub", "__sub"},
        {"mul", "__mul"},        {"div", "__div"},       {"pow", "__pow"},
        {"unm", "__unm"},        {"concat", "__concat"}, {"lt", "__lt"},
    };
    for (const auto& m : map) {
        if (std::strcmp(m.event, event) == 0) return m.field;
    }
    return nullptr;
}

int nLuaCompat::l_newtag(lua_State* L) {
    lua_pushinteger(L, NewTag(L));
    return 1;
}

int nLuaCompat::l_tag(lua_State* L) {
    lua_pushinteger(L, TagOf(L, 1));
    return 1;
}

int nLuaCompat::l_settag(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    int tag = static_cast<int>(luaL_checkinteger(L, 2));
    PushTagTable(L, tag);
    if (!lua_istable(L, -1)) return luaL_error(L, "settag: %d is not a user tag", tag);
    lua_setmetatable(L, 1);
    lua_settop(L, 1);
    return 1;
}

// __index of the globals table: the old "getglobal" method took the name and
// the (nil) value, the new hook gets the table and the name.
int nLuaCompat::l_getglobalHook(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushvalue(L, 2);
    lua_pushnil(L);
    lua_call(L, 2, 1);
    return 1;
}

int nLuaCompat::l_settagmethod(lua_State* L) {
    int tag = static_cast<int>(luaL_checkinteger(L, 1));
    const char* event = luaL_checkstring(L, 2);
    if (!lua_isnil(L, 3)) luaL_checktype(L, 3, LUA_TFUNCTION);
    lua_settop(L, 3);

    if (tag == TagNil && std::strcmp(event, "getglobal") == 0) {
        lua_pushglobaltable(L);
        lua_pushcfunction(L, l_gettagmethod);
        lua_pushinteger(L, tag);
        lua_pushstring(L, event);
        lua_call(L, 2, 1);  // the old method is the result
        if (lua_isnil(L, 3)) {
            lua_pushnil(L);
        } else {
            lua_newtable(L);
            lua_pushvalue(L, 3);
            lua_pushcclosure(L, l_getglobalHook, 1);
            lua_setfield(L, -2, "__index");
        }
        lua_setmetatable(L, 4);
        return 1;
    }

    const char* field = MetaField(event);
    if (!field) return luaL_error(L, "settagmethod: event '%s' is not supported", event);
    PushTagTable(L, tag);
    if (!lua_istable(L, -1)) return luaL_error(L, "settagmethod: %d is not a user tag", tag);
    lua_getfield(L, -1, field);  // old method
    lua_pushvalue(L, 3);
    lua_setfield(L, -3, field);
    // The other metatables of the tag (values' own ones) follow, but for __index,
    // which they pass on to the tag table's.
    if (std::strcmp(field, "__index") != 0) {
        PushRegistryTable(L, kTagOf);
        lua_pushnil(L);
        while (lua_next(L, -2)) {
            bool same = lua_isinteger(L, -1) && lua_tointeger(L, -1) == tag && !lua_rawequal(L, -2, 4);
            lua_pop(L, 1);
            if (same && lua_istable(L, -1)) {
                lua_pushvalue(L, 3);
                lua_setfield(L, -2, field);
            }
        }
        lua_pop(L, 1);
    }
    lua_settop(L, 5);
    return 1;
}

int nLuaCompat::l_gettagmethod(lua_State* L) {
    int tag = static_cast<int>(luaL_checkinteger(L, 1));
    const char* event = luaL_checkstring(L, 2);
    if (tag == TagNil && std::strcmp(event, "getglobal") == 0) {
        lua_pushglobaltable(L);
        if (!lua_getmetatable(L, -1)) {
            lua_pushnil(L);
            return 1;
        }
        lua_getfield(L, -1, "__index");
        if (lua_tocfunction(L, -1) == l_getglobalHook) lua_getupvalue(L, -1, 1);
        else lua_pushnil(L);
        return 1;
    }
    const char* field = MetaField(event);
    PushTagTable(L, tag);
    if (!field || !lua_istable(L, -1)) {
        lua_pushnil(L);
        return 1;
    }
    lua_getfield(L, -1, field);
    return 1;
}
