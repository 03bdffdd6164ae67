#include "script/nLuaServer2.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "script/nLuaBinding.h"
#include "script/nLuaCompat.h"
#include "script/nLuaGlobals.h"

const nClassInfo nLuaServer2::classInfo = nClassInfo::Make<nLuaServer2>("nluaserver2", "nscriptserver");

int nLuaServer2::objTag = 0;
int nLuaServer2::cmdTag = 0;
std::string nLuaServer2::result;

nLuaServer2::nLuaServer2() {
    L = lua_newstate(Allocate, this);
    if (!L) nKernelServer::FatalError("nLuaServer2: cannot open the Lua interpreter\n");
    lua_atpanic(L, Panic);
    // Frame-wise collection with a young generation keeps per-frame pauses short.
    lua_gc(L, LUA_GCGEN, 0, 0);

    int obj = nLuaCompat::NewTag(L);
    int cmd = nLuaCompat::NewTag(L);
    if (objTag == 0) {
        objTag = obj;
        cmdTag = cmd;
    }

    static const luaL_Reg libs[] = {
        {LUA_GNAME, luaopen_base},
        {LUA_IOLIBNAME, luaopen_io},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
    };
    for (const luaL_Reg& lib : libs) {
        luaL_requiref(L, lib.name, lib.func, 1);
        lua_pop(L, 1);
    }
    // Base functions the old interpreter did not have: "load" would hide the
    // repository's command of that name when scripts call it bare, and "loadfile"
    // takes precompiled chunks and reads around the file server (archives).
    for (const char* name : {"load", "loadfile"}) {
        lua_pushnil(L);
        lua_setglobal(L, name);
    }

    nLuaCompat::Open(L);
    nLuaBinding::Open(L);
    nLuaGlobals::Register(L, this);
    lua_pushinteger(L, cmdTag);
    lua_setglobal(L, "__tagval_ncmdobjtag");
    lua_pushinteger(L, objTag);
    lua_setglobal(L, "__tagval_nobjtag");

    const char* res = nullptr;
    if (!RunScript("bin:init_scriptserver.bs", res)) {
        n_printf("nLuaServer2: could not run 'bin:init_scriptserver.bs'; objects are not bound\n");
    }
    lua_pushlightuserdata(L, this);
    lua_setglobal(L, "__scriptserver");
}

nLuaServer2::~nLuaServer2() {
    // A text result waiting as a value may be a string of this state.
    ResultText();
    // Closing first lets the values' finalizers unhook their references.
    lua_close(L);
    L = nullptr;
    // Only the server that made the variables releases them: a second server made
    // and deleted by a script leaves the first one's in place.
    if (nRoot* o = refKbyteCount.GetUnsafe(); o && ownsKbyteCount) o->Release();
    if (nRoot* o = refGcThreshold.GetUnsafe(); o && ownsGcThreshold) o->Release();
}

void nLuaServer2::Initialize() {
    ownsKbyteCount = MakeVariable("/sys/var/lua_kbyte_count", refKbyteCount);
    ownsGcThreshold = MakeVariable("/sys/var/lua_gc_threshold", refGcThreshold);
}

bool nLuaServer2::MakeVariable(const char* path, nRef<nRoot>& ref) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* existing = ks->Lookup(path);
    ref = existing ? existing : ks->NewNoFail("nenv", path);
    return !existing && ref.IsValid();
}

void* nLuaServer2::Allocate(void* ud, void* ptr, size_t osize, size_t nsize) {
    auto* self = static_cast<nLuaServer2*>(ud);
    // For a new block Lua passes a type code as osize, not a size.
    size_t old = ptr ? osize : 0;
    if (nsize == 0) {
        std::free(ptr);
        self->memoryUsed -= old;
        return nullptr;
    }
    if (nsize > old && self->memoryUsed - old + nsize > MemoryLimit) return nullptr;
    void* p = std::realloc(ptr, nsize);
    if (p) self->memoryUsed = self->memoryUsed - old + nsize;
    return p;
}

int nLuaServer2::Panic(lua_State* L) {
    const char* msg = lua_tostring(L, -1);
    nKernelServer::FatalError("nLuaServer2: unprotected Lua error: %s\n", msg ? msg : "?");
    return 0;
}

int nLuaServer2::MessageHandler(lua_State* L) {
    const char* msg = lua_tostring(L, 1);
    if (!msg) msg = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
    luaL_traceback(L, L, msg, 1);
    return 1;
}

void nLuaServer2::ReportError(const char* msg) {
    // A script may take over error reporting, as the old interpreter allowed.
    lua_pushglobaltable(L);
    lua_pushstring(L, "_ERRORMESSAGE");
    if (lua_rawget(L, -2) == LUA_TFUNCTION) {
        lua_pushstring(L, msg);
        if (lua_pcall(L, 1, 0, 0) == LUA_OK) {
            lua_pop(L, 1);
            return;
        }
        n_printf("nLuaServer2: _ERRORMESSAGE failed: %s\n", lua_tostring(L, -1));
    }
    lua_pop(L, 2);
    n_printf("nLuaServer2: %s\n", msg);
}

bool nLuaServer2::RunChunk(const char* buf, size_t size, const char* chunkName) {
    RunningGuard running(this);
    int top = lua_gettop(L);
    lua_pushcfunction(L, MessageHandler);
    // Text only: a precompiled chunk could crash the interpreter.
    int status = luaL_loadbufferx(L, buf, size, chunkName, "t");
    if (status == LUA_OK) status = lua_pcall(L, 0, 0, top + 1);
    if (status != LUA_OK) {
        const char* msg = lua_tostring(L, -1);
        std::string text = msg ? msg : "unknown error";
        lua_settop(L, top);
        ReportError(text.c_str());
        return false;
    }
    lua_settop(L, top);
    return true;
}

bool nLuaServer2::Run(const char* text, const char*& res) {
    // The text may be the last result itself (a console running it again).
    std::string copy;
    std::less_equal<const char*> le;
    if (text && le(result.data(), text) && le(text, result.data() + result.size())) {
        copy = text;
        text = copy.c_str();
    }
    ClearResult();
    bool ok = text && RunChunk(text, std::strlen(text), text);
    if (!ok) ClearResult();
    res = ResultText().c_str();
    return ok;
}

const char* nLuaServer2::RunBuffer(const char* buf, size_t size, const char* chunkName) {
    ClearResult();
    if (!RunChunk(buf, size, chunkName)) ClearResult();
    return ResultText().c_str();
}

bool nLuaServer2::RunScript(const char* fileName, const char*& res) {
    res = "";
    std::string text;
    if (!fileName || !GetFileServer()->ReadFile(fileName, text)) {
        n_printf("nLuaServer2: cannot read script '%s'\n", fileName ? fileName : "(null)");
        return false;
    }
    // "@name" makes error messages name the file and line.
    std::string chunkName = std::string("@") + fileName;
    ClearResult();
    bool ok = RunChunk(text.data(), text.size(), chunkName.c_str());
    if (!ok) ClearResult();
    res = ResultText().c_str();
    return ok;
}

void nLuaServer2::Enqueue(const char* text) {
    if (!text) return;
    pending += text;
    pending += '\n';
}

bool nLuaServer2::Trigger() {
    if (!pending.empty()) {
        // Text queued while this runs stays for the next frame.
        std::string chunk;
        chunk.swap(pending);
        const char* res = nullptr;
        Run(chunk.c_str(), res);
    }
    PublishMemory();
    return nScriptServer::Trigger();
}

void nLuaServer2::PublishMemory() {
    // A script may have deleted the variables; they come back rather than
    // ending the program.
    if (!refKbyteCount.IsValid()) ownsKbyteCount = MakeVariable("/sys/var/lua_kbyte_count", refKbyteCount);
    if (!refGcThreshold.IsValid()) ownsGcThreshold = MakeVariable("/sys/var/lua_gc_threshold", refGcThreshold);
    int kb = lua_gc(L, LUA_GCCOUNT, 0);
    if (nRoot* env = refKbyteCount.GetUnsafe()) env->Call(nId("SETI"), nullptr, kb);
    if (nRoot* env = refGcThreshold.GetUnsafe()) env->Call(nId("SETI"), nullptr, gcThreshold);
    // The old collector ran as soon as use reached the threshold and then
    // doubled it; a step of the generational collector stands in for that.
    gcThreshold = GcThresholdKb;
    if (kb >= gcThreshold) {
        lua_gc(L, LUA_GCSTEP, 0);
        int after = lua_gc(L, LUA_GCCOUNT, 0);
        gcThreshold = 2 * after > GcThresholdKb ? 2 * after : GcThresholdKb;
    }
}

char* nLuaServer2::Prompt(char* buf, int size) {
    if (!buf || size <= 0) return buf;
    std::string text;
    nRoot* cwd = nKernelServer::ks->GetCwd();
    if (cwd) {
        text = cwd->GetFullName();
        if (text.size() > 20) text = "..." + text.substr(text.size() - 16);
    } else {
        text = "[void]";
    }
    text += ":>";
    std::snprintf(buf, size_t(size), "%s", text.c_str());
    return buf;
}

nFileServer2* nLuaServer2::GetFileServer() {
    nFileServer2* fs = nKernelServer::ks->GetFileServer<nFileServer2>();
    if (!fs) nKernelServer::FatalError("Aborting.");
    return fs;
}

std::string nLuaServer2::ManglePath(const char* path) {
    return GetFileServer()->ManglePath(path);
}

nRoot* nLuaServer2::LoadObject(const char* fileName) { return nKernelServer::ks->Load(fileName); }
