#include "tests/script/nScriptFixture.h"

#include <cstdio>
#include <cstdlib>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "script/nScriptPackage.h"
#include "tests/script/nTestValue.h"

void nScriptFixture::CaptureLog::Add(const char* fmt, va_list args) {
    char buf[4096];
    std::vsnprintf(buf, sizeof(buf), fmt, args);
    text += buf;
    // Shown too, so a fatal stop explains itself.
    std::fputs(buf, stderr);
}

std::string nScriptFixture::SourceDir() {
    const char* dir = std::getenv("BW_SOURCE_DIR");
    return dir ? dir : BW_SOURCE_DIR;
}

void nScriptFixture::SetUp() {
    kernel = new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nScriptPackage(ks);
        ks->AddClass(nTestValue::classInfo);
    });
    kernel->SetLogHandler(&log);
    // The start-up script comes from the game's data in the source tree.
    kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (SourceDir() + "/data/bin/win32/").c_str());
    server = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
}

void nScriptFixture::TearDown() {
    delete kernel;
    kernel = nullptr;
}

bool nScriptFixture::Run(const std::string& text) {
    const char* result = nullptr;
    return server->Run(text.c_str(), result);
}

std::string nScriptFixture::Global(const char* name) {
    lua_State* L = server->GetState();
    lua_pushglobaltable(L);
    lua_pushstring(L, name);
    lua_rawget(L, -2);
    std::string text;
    if (lua_isnil(L, -1)) text = "nil";
    else if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) text = lua_tostring(L, -1);
    else text = std::string("<") + luaL_typename(L, -1) + ">";
    lua_pop(L, 2);
    return text;
}

std::string nScriptFixture::GlobalType(const char* name) {
    lua_State* L = server->GetState();
    lua_pushglobaltable(L);
    lua_pushstring(L, name);
    lua_rawget(L, -2);
    std::string type = luaL_typename(L, -1);
    if (lua_type(L, -1) == LUA_TNUMBER) type = lua_isinteger(L, -1) ? "integer" : "float";
    lua_pop(L, 2);
    return type;
}
