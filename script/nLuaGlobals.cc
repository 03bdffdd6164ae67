#include "script/nLuaGlobals.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/nClass.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogLimiter.h"
#include "kernel/nRoot.h"
#include "platform/system/Disk.h"
#include "script/nFileDialog.h"
#include "script/nLuaBinding.h"
#include "script/nLuaServer2.h"
#include "script/nMainLoop.h"

void nLuaGlobals::Register(lua_State* L, nLuaServer2* server) {
    static const luaL_Reg globals[] = {
        {"new", New},
        {"delete", Delete},
        {"move", Move},
        {"sel", Sel},
        {"up", Up},
        {"cwd", Cwd},
        {"fullcwd", FullCwd},
        {"exists", Exists},
        {"dir", Dir},
        {"get", Get},
        {"exit", Exit},
        {"log", Log},
        {"print", Print},
        {"mangle", Mangle},
        {"greset", GReset},
        {"__getstringval", nLuaBinding::GetStringVal},
        {"__nprint", NPrint},
        {"obj", Obj},
        {"__bdofile", BDoFile},
        {"__tag_function", nLuaBinding::TagFunction},
        {"__tag_getglobal", nLuaBinding::TagGetglobal},
        {"__tag_gettable", nLuaBinding::TagGettable},
        {"cd", Cd},
        {"ls", Ls},
        {"pwd", Pwd},
        {"execbuf", ExecBuf},
        {"getfilename", GetFileName},
    };
    for (const luaL_Reg& g : globals) {
        lua_pushlightuserdata(L, server);
        lua_pushcclosure(L, g.func, 1);
        lua_setglobal(L, g.name);
    }
}

nLuaServer2* nLuaGlobals::Server(lua_State* L) {
    return static_cast<nLuaServer2*>(lua_touserdata(L, lua_upvalueindex(1)));
}

bool nLuaGlobals::ArgCount(lua_State* L, const char* name, int wanted) {
    int n = lua_gettop(L);
    if (n == wanted) return true;
    n_printf("nLuaServer2: '%s' takes %d argument(s), got %d\n", name, wanted, n);
    lua_settop(L, 0);
    return false;
}

int nLuaGlobals::BadArg(lua_State* L, const char* name, const char* what) {
    n_printf("nLuaServer2: '%s': %s\n", name, what);
    lua_settop(L, 0);
    return 0;
}

int nLuaGlobals::New(lua_State* L) {
    nLuaServer2::ChargePaths(L, lua_gettop(L), true);
    if (!ArgCount(L, "new", 2)) return 0;
    if (lua_type(L, 1) != LUA_TSTRING || !lua_isstring(L, 2)) {
        return BadArg(L, "new", "expects a class name and an object name");
    }
    if (nScriptServer::DataRunning()) {
        nKernelServer* ks = nKernelServer::ks;
        nRoot* into = ks->DeepestOnPath(ks->GetCwd(), lua_tostring(L, 2));
        if (!nScriptServer::MayMake(ks->FindClass(lua_tostring(L, 1)), into, "'new' of") ||
            !nScriptServer::MayPlace(into, "'new' of")) {
            return BadArg(L, "new", "refused");
        }
    }
    nRoot* obj = nKernelServer::ks->NewNoFail(lua_tostring(L, 1), lua_tostring(L, 2));
    if (!obj) {
        n_printf("nLuaServer2: 'new': could not create '%s' of class '%s'\n", lua_tostring(L, 2),
                 lua_tostring(L, 1));
        lua_settop(L, 0);
        return 0;
    }
    lua_settop(L, 0);
    nLuaBinding::PushFullName(L, obj);
    return 1;
}

int nLuaGlobals::Delete(lua_State* L) {
    nLuaServer2::ChargePaths(L, lua_gettop(L), false);
    if (!ArgCount(L, "delete", 1)) return 0;
    const char* path = nLuaBinding::ToPath(L, 1);
    nRoot* obj = nKernelServer::ks->Lookup(path);
    if (!obj) return BadArg(L, "delete", (std::string("no object at '") + path + "'").c_str());
    // The root and the objects above a running interpreter would take the
    // interpreter with them.
    if (nScriptServer::HoldsRunningServer(obj)) {
        return BadArg(L, "delete", (std::string("refusing to delete '") + path + "', a running script server").c_str());
    }
    if (!nScriptServer::MayRelease(obj, nullptr, "'delete' of")) return BadArg(L, "delete", "refused");
    lua_settop(L, 0);
    obj->Release();
    return 0;
}

int nLuaGlobals::Move(lua_State* L) {
    nLuaServer2::ChargePaths(L, lua_gettop(L), false);
    if (!ArgCount(L, "move", 2)) return 0;
    nRoot* src = nKernelServer::ks->Lookup(nLuaBinding::ToPath(L, 1));
    nRoot* dst = nKernelServer::ks->Lookup(nLuaBinding::ToPath(L, 2));
    if (!src || !dst) return BadArg(L, "move", "source or target object not found");
    // A running interpreter moved below an object could be freed with it later in the
    // same chunk ("greset", "delete"), and one check covers every such road.
    if (nScriptServer::HoldsRunningServer(src)) return BadArg(L, "move", "refusing to move a running script server");
    // Data's text moves nothing out of the trees it may release in.
    if (!nScriptServer::MayRelease(src, dst, "'move' of")) return BadArg(L, "move", "refused");
    // The root is an ancestor of every target, so this refuses moving it too.
    for (nRoot* o = dst; o; o = o->GetParent()) {
        if (o == src) return BadArg(L, "move", "an object cannot move into its own subtree");
    }
    lua_settop(L, 0);
    dst->AddTail(src);  // unlinks it from its old parent
    // A visual node initialises itself again in its new place: its new ancestors read
    // its channels from now on.
    if (src->IsA("nvisnode")) src->Initialize();
    return 0;
}

int nLuaGlobals::Sel(lua_State* L) {
    nLuaServer2::ChargePaths(L, lua_gettop(L), false);
    if (!ArgCount(L, "sel", 1)) return 0;
    const char* path = nLuaBinding::ToPath(L, 1);
    nRoot* obj = nKernelServer::ks->Lookup(path);
    if (!obj) return BadArg(L, "sel", (std::string("no object at '") + path + "'").c_str());
    nKernelServer::ks->SetCwd(obj);
    lua_settop(L, 0);
    nLuaBinding::PushFullName(L, obj);
    return 1;
}

int nLuaGlobals::Up(lua_State* L) {
    if (!ArgCount(L, "up", 0)) return 0;
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (!cwd || !cwd->GetParent()) return 0;
    nKernelServer::ks->SetCwd(cwd->GetParent());
    nLuaBinding::PushFullName(L, cwd->GetParent());
    return 1;
}

int nLuaGlobals::Cwd(lua_State* L) {
    if (!ArgCount(L, "cwd", 0)) return 0;
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (!cwd) return 0;
    lua_pushstring(L, cwd->GetName() ? cwd->GetName() : "");
    return 1;
}

int nLuaGlobals::FullCwd(lua_State* L) {
    if (!ArgCount(L, "fullcwd", 0)) return 0;
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (!cwd) return 0;
    nLuaBinding::PushFullName(L, cwd);
    return 1;
}

int nLuaGlobals::Exists(lua_State* L) {
    nLuaServer2::ChargePaths(L, lua_gettop(L), false);
    if (!ArgCount(L, "exists", 1)) return 0;
    nRoot* obj = nKernelServer::ks->Lookup(nLuaBinding::ToPath(L, 1));
    lua_settop(L, 0);
    if (obj) lua_pushinteger(L, 1);
    else lua_pushnil(L);
    return 1;
}

int nLuaGlobals::Dir(lua_State* L) {
    if (!ArgCount(L, "dir", 0)) return 0;
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (!cwd) return 0;
    int count = 0;
    for (nRoot* c = cwd->GetHead(); c; c = c->GetSucc()) count++;
    if (!lua_checkstack(L, count)) return BadArg(L, "dir", "too many children to return");
    for (nRoot* c = cwd->GetHead(); c; c = c->GetSucc()) lua_pushstring(L, c->GetName() ? c->GetName() : "");
    return count;
}

int nLuaGlobals::Get(lua_State* L) {
    if (!ArgCount(L, "get", 1)) return 0;
    if (!lua_isstring(L, 1)) return BadArg(L, "get", "expects a file name");
    nRoot* obj = Server(L)->LoadObject(lua_tostring(L, 1));
    lua_settop(L, 0);
    if (!obj) return 0;
    nLuaBinding::PushFullName(L, obj);
    return 1;
}

int nLuaGlobals::Exit(lua_State* L) {
    if (!ArgCount(L, "exit", 0)) return 0;
    nRoot* observer = nKernelServer::ks->Lookup("/sys/servers/observer");
    if (!observer) return 0;
    if (auto* loop = dynamic_cast<nMainLoop*>(observer)) {
        loop->Quit();
        return 0;
    }
    // Another object there is asked through its command table.
    nCmdProto* proto = observer->GetClass()->FindCmdByName("quit");
    if (proto && proto->GetNumInArgs() == 0) {
        nCmd* cmd = proto->NewCmd();
        observer->Dispatch(cmd);
        proto->RelCmd(cmd);
    }
    return 0;
}

int nLuaGlobals::Log(lua_State* L) {
    ArgCount(L, "log", 1);
    lua_settop(L, 0);
    return 0;
}

int nLuaGlobals::Print(lua_State* L) {
    // Lua's own print writes to standard output around the log and its bounds. Only what
    // the log keeps of a text is gathered; one character more has it cut and marked.
    char text[nLogLimiter::MaxText + 2];
    size_t used = 0;
    const int n = lua_gettop(L);
    for (int i = 1; i <= n && used < sizeof(text); i++) {
        size_t length = 0;
        const char* s = luaL_tolstring(L, i, &length);
        if (i > 1) text[used++] = '\t';
        const size_t take = std::min(length, sizeof(text) - used);
        std::memcpy(text + used, s, take);
        used += take;
        lua_pop(L, 1);
    }
    // Data's print is marked as data's, so that its text never passes for a line of the game's.
    n_printf(nScriptServer::DataRunning() ? "print of data: %.*s\n" : "%.*s\n", int(used), text);
    return 0;
}

int nLuaGlobals::NPrint(lua_State* L) {
    if (ArgCount(L, "__nprint", 1) && !lua_isstring(L, 1)) BadArg(L, "__nprint", "expects a string");
    lua_settop(L, 0);
    return 0;
}

int nLuaGlobals::Mangle(lua_State* L) {
    if (!ArgCount(L, "mangle", 1)) return 0;
    if (!lua_isstring(L, 1)) return BadArg(L, "mangle", "expects a path");
    std::string path = Server(L)->ManglePath(lua_tostring(L, 1));
    lua_settop(L, 0);
    lua_pushlstring(L, path.data(), path.size());
    return 1;
}

int nLuaGlobals::GReset(lua_State* L) {
    if (!ArgCount(L, "greset", 0)) return 0;
    if (!nScriptServer::PersonOnly("'greset'")) return BadArg(L, "greset", "refused");
    nRoot* dir = nKernelServer::ks->Lookup("/sys/share/gen_fcts");
    if (!dir) return 0;
    nRoot* next = nullptr;
    for (nRoot* c = dir->GetHead(); c; c = next) {
        next = c->GetSucc();
        if (nScriptServer::HoldsRunningServer(c)) {
            n_printf("nLuaServer2: 'greset': refusing to delete '%s', a running script server\n",
                     c->GetFullName().c_str());
            continue;
        }
        if (c->GetName()) {
            lua_pushglobaltable(L);
            lua_pushstring(L, c->GetName());
            if (lua_rawget(L, -2) == LUA_TFUNCTION) {
                lua_pushstring(L, c->GetName());
                lua_pushnil(L);
                lua_rawset(L, -4);
            }
            lua_settop(L, 0);
        }
        c->Release();
    }
    return 0;
}

int nLuaGlobals::Obj(lua_State* L) {
    nLuaServer2::ChargePaths(L, lua_gettop(L), false);
    if (!ArgCount(L, "obj", 1)) return 0;
    if (!lua_isstring(L, 1)) return BadArg(L, "obj", "expects a path");
    nRoot* obj = nKernelServer::ks->Lookup(lua_tostring(L, 1));
    if (!obj) return BadArg(L, "obj", (std::string("no object at '") + lua_tostring(L, 1) + "'").c_str());
    lua_settop(L, 0);
    nLuaBinding::PushObject(L, obj);
    return 1;
}

int nLuaGlobals::BDoFile(lua_State* L) {
    if (!ArgCount(L, "__bdofile", 1)) return 0;
    if (!lua_isstring(L, 1)) return BadArg(L, "__bdofile", "expects a file name");
    std::string name = lua_tostring(L, 1);
    lua_settop(L, 0);
    const char* result = nullptr;
    Server(L)->RunScript(name.c_str(), result);
    return 0;
}

int nLuaGlobals::Cd(lua_State* L) {
    if (!ArgCount(L, "cd", 1)) return 0;
    if (!lua_isstring(L, 1)) return BadArg(L, "cd", "expects a path");
    // The mangled path is lower case; the folder on disk keeps its own letter case.
    std::string path = sys::Disk::Resolve(Server(L)->ManglePath(lua_tostring(L, 1)));
    lua_settop(L, 0);
    // A refused name was logged where it was refused.
    if (path.empty()) return 0;
    if (chdir(path.c_str()) != 0) n_printf("nLuaServer2: 'cd': cannot change to '%s'\n", path.c_str());
    return 0;
}

int nLuaGlobals::Pwd(lua_State* L) {
    if (!ArgCount(L, "pwd", 0)) return 0;
    char buf[513];
    if (!getcwd(buf, sizeof(buf))) buf[0] = 0;
    lua_pushstring(L, buf);
    return 1;
}

int nLuaGlobals::Ls(lua_State* L) {
    if (!ArgCount(L, "ls", 0)) return 0;
    DIR* d = opendir(".");
    if (!d) return 0;
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) names.emplace_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    if (names.size() > 100000 || !lua_checkstack(L, int(names.size()))) {
        return BadArg(L, "ls", "too many entries to return");
    }
    for (const std::string& n : names) lua_pushlstring(L, n.data(), n.size());
    return int(names.size());
}

int nLuaGlobals::ExecBuf(lua_State* L) {
    nLuaServer2::ChargeCommand(L, 1, lua_gettop(L));
    if (!ArgCount(L, "execbuf", 1)) return 0;
    if (!lua_isstring(L, 1)) return BadArg(L, "execbuf", "expects a text");
    Server(L)->Enqueue(lua_tostring(L, 1));
    lua_settop(L, 0);
    return 0;
}

int nLuaGlobals::GetFileName(lua_State* L) {
    if (!ArgCount(L, "getfilename", 2)) return 0;
    if (!lua_isnil(L, 1) && !lua_isstring(L, 1)) return BadArg(L, "getfilename", "expects a directory or nil");
    std::string dir;
    if (!lua_isnil(L, 1)) dir = sys::Disk::Resolve(Server(L)->ManglePath(lua_tostring(L, 1)));
    bool open = !lua_isnil(L, 2);
    // A folder refused (logged) is no reason to show the working folder instead.
    const bool refused = !lua_isnil(L, 1) && dir.empty() && nFileServer2::AssignLength(lua_tostring(L, 1)) > 0;
    lua_settop(L, 0);
    std::string name;
    if (!refused && nFileDialog::Ask(dir, open, name)) lua_pushlstring(L, name.data(), name.size());
    else lua_pushnil(L);
    return 1;
}
