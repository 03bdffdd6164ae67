#pragma once
// The Lua 4.0 tag vocabulary (newtag, tag, settag, settagmethod,
// gettagmethod) on top of Lua 5.4 metatables, so start-up scripts written
// in the old style install the object bindings unchanged.

#include <lua.hpp>

class nLuaCompat {
public:
    // Tag numbers of the basic types, as the old interpreter numbered them.
    enum : int {
        TagNone = -1,
        TagUserdata = 0,
        TagNil = 1,
        TagNumber = 2,
        TagString = 3,
        TagTable = 4,
        TagFunction = 5,
        FirstUserTag = 6,
    };

    // Registers the tag functions as globals of the state.
    static void Open(lua_State* L);
    // Creates a metatable for a new user tag and returns the tag number.
    static int NewTag(lua_State* L);
    // Pushes the metatable of a user tag (nil when the tag is unknown).
    static void PushTagTable(lua_State* L, int tag);
    // The tag of the value at the given index (TagNone for anonymous userdata).
    static int TagOf(lua_State* L, int index);
    // Makes the metatable at `index` a second metatable of `tag`: a value that has it
    // reads as of that tag, and the tag's methods set later reach it too, but for
    // "gettable", which the metatable answers itself (it holds the value's cached
    // lookups) and passes on to the tag's method when it has no answer.
    static void AddTagMetatable(lua_State* L, int index, int tag);

private:
    static int l_newtag(lua_State* L);
    static int l_tag(lua_State* L);
    static int l_settag(lua_State* L);
    static int l_settagmethod(lua_State* L);
    static int l_gettagmethod(lua_State* L);
    static int l_getglobalHook(lua_State* L);
    static const char* MetaField(const char* event);
};

