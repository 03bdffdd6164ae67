#pragma once
#include <lua.hpp>

#include <string>

class nRoot;
class nCmd;
class nCmdProto;

// Object values and command values in Lua, the three functions that the
// start-up script installs as their tag methods, and the conversion of Lua
// values into command inputs and of command outputs into Lua values.
class nLuaBinding {
public:
    // Creates the metatables of the two tags in a new state.
    static void Open(lua_State* L);

    // Pushes the object value of `obj` (one userdata per live object, so
    // values of the same object compare equal); nil for null.
    static void PushObject(lua_State* L, nRoot* obj);
    // Pushes the object's full path, whole however long: a path cut short could
    // name another object.
    static void PushFullName(lua_State* L, nRoot* obj);
    // Pushes a command value that runs `proto` on `obj`.
    static void PushCommand(lua_State* L, nRoot* obj, nCmdProto* proto);
    // True when the value is an object value; `obj` receives its object
    // (null when the object has died).
    static bool ToObject(lua_State* L, int index, nRoot*& obj);
    // True when the value is a command value.
    static bool ToCommand(lua_State* L, int index, nRoot*& obj, nCmdProto*& proto);

    // Replaces a path-or-object argument by its path text.
    static const char* ToPath(lua_State* L, int index);
    // The text "__getstringval" gives for a userdata.
    static std::string UserdataText(lua_State* L, int index);

    // Fills the inputs of `cmd` from `count` Lua values starting at `first`;
    // false (with `why` set) when a value does not fit its input's type.
    static bool FillInputs(lua_State* L, int first, int count, nCmd* cmd, std::string& why);
    // Pushes the outputs of `cmd` and rebuilds the result text; returns the count pushed.
    static int PushOutputs(lua_State* L, nCmd* cmd, std::string& resultText);
    // A call of a getter command leaves its one result as a value; this writes its text
    // into `resultText` (once; nothing when no such result waits). Call it before the
    // text is read and before a state that ran the call closes.
    static void SettleResult(std::string& resultText);
    // Forgets a waiting result: the result text is about to be rewritten.
    static void DropResult();

    // The tag methods.
    static int TagGettable(lua_State* L);
    static int TagGetglobal(lua_State* L);
    static int TagFunction(lua_State* L);
    static int GetStringVal(lua_State* L);

private:
    // Charges the texts among the `numArgs` arguments from index 2 that `proto` of `obj`
    // may keep (kernel/nDataTexts.h); false (logged) refuses the call.
    static bool ChargeKeptTexts(lua_State* L, nRoot* obj, const nCmdProto* proto, int numArgs);
    static int CacheMiss(lua_State* L);
    static int ObjectGc(lua_State* L);
    static int CommandGc(lua_State* L);
    static int ToStringMeta(lua_State* L);
};
