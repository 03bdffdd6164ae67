#pragma once
#include <lua.hpp>

class nLuaServer2;

// The global functions the script server gives every script: tree
// navigation, object creation, the process's working directory, queued
// text and files. Each takes an exact argument count; on a wrong count or
// type it logs the problem and returns nothing.
class nLuaGlobals {
public:
    // Registers the globals, in the server's order, with the server as upvalue.
    static void Register(lua_State* L, nLuaServer2* server);

    static int New(lua_State* L);
    static int Delete(lua_State* L);
    static int Move(lua_State* L);
    static int Sel(lua_State* L);
    static int Up(lua_State* L);
    static int Cwd(lua_State* L);
    static int FullCwd(lua_State* L);
    static int Exists(lua_State* L);
    static int Dir(lua_State* L);
    static int Get(lua_State* L);
    static int Exit(lua_State* L);
    static int Log(lua_State* L);
    // Lua's print, through the log.
    static int Print(lua_State* L);
    static int Mangle(lua_State* L);
    static int GReset(lua_State* L);
    static int NPrint(lua_State* L);
    static int Obj(lua_State* L);
    static int BDoFile(lua_State* L);
    static int Cd(lua_State* L);
    static int Ls(lua_State* L);
    static int Pwd(lua_State* L);
    static int ExecBuf(lua_State* L);
    static int GetFileName(lua_State* L);

private:
    // Checks the argument count; logs and clears the stack when it is wrong.
    static bool ArgCount(lua_State* L, const char* name, int wanted);
    // Logs a wrong argument and clears the stack; returns 0 results.
    static int BadArg(lua_State* L, const char* name, const char* what);
    static nLuaServer2* Server(lua_State* L);
};
