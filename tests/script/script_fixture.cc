#include "tests/script/script_fixture.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kernel/nCmd.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "script/nScriptPackage.h"
#include "tests/kernel/GameArchives.h"

namespace fs = std::filesystem;

static const nCmdDef<nTestValue> testValueCmds[] = {
    {"v_seti_i", "SETI", [](nTestValue* t, nCmd* c) { t->i = c->In()->GetI(); t->calls++; }},
    {"i_geti_v", "GETI", [](nTestValue* t, nCmd* c) { c->Out()->SetI(t->i); }},
    {"v_setf_f", "SETF", [](nTestValue* t, nCmd* c) { t->f = c->In()->GetF(); t->calls++; }},
    {"v_setb_b", "SETB", [](nTestValue* t, nCmd* c) { t->b = c->In()->GetB(); t->calls++; }},
    {"v_sets_s", "SETS", [](nTestValue* t, nCmd* c) { t->s = c->In()->GetS(); t->calls++; }},
    {"v_seto_o", "SETO", [](nTestValue* t, nCmd* c) { t->o = c->In()->GetO(); t->calls++; }},
    {"v_setall_ifsbo", "SALL", [](nTestValue* t, nCmd* c) {
         t->i = c->In()->GetI();
         t->f = c->In()->GetF();
         const char* s = c->In()->GetS();
         t->hasText = s != nullptr;
         t->s = s ? s : "";
         t->b = c->In()->GetB();
         t->o = c->In()->GetO();
         t->calls++;
     }},
    {"ifsbo_getall_v", "GALL", [](nTestValue* t, nCmd* c) {
         c->Out()->SetI(t->i);
         c->Out()->SetF(t->f);
         c->Out()->SetS(t->hasText ? t->s.c_str() : nullptr);
         c->Out()->SetB(t->b);
         c->Out()->SetO(t->o);
     }},
    {"v_load_s", "LOAD", [](nTestValue* t, nCmd* c) { t->loaded = c->In()->GetS(); t->calls++; }},
    {"v_quit_v", "QUIT", [](nTestValue* t, nCmd*) { t->quitCalls++; }},
};
const nClassInfo nTestValue::classInfo = nClassInfo::Make<nTestValue>("ntestvalue", "nroot", testValueCmds);

void nScriptFixture::CaptureLog::Add(const char* fmt, va_list args) {
    char buf[4096];
    std::vsnprintf(buf, sizeof(buf), fmt, args);
    text += buf;
    // Shown too, so a fatal stop explains itself.
    std::fputs(buf, stderr);
    if (holdOn.empty() || !clock || !std::strstr(buf, holdOn.c_str())) return;
    if (ownWait) clock->Work(hold);
    else clock->HoldOff(hold);
}

std::string nScriptFixture::SourceDir() {
    const char* env = std::getenv("BW_SOURCE_DIR");
    return env ? env : BW_SOURCE_DIR;
}

void nScriptFixture::SetUp() {
    dir = fs::path(testing::TempDir()) /
          ("bw_script_" + std::to_string(::getpid()) + "_" +
           testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    kernel = new nKernelServer([](nKernelServer* ks) {
        nKernelPackage(ks);
        nScriptPackage(ks);
        ks->AddClass(nTestValue::classInfo);
    });
    kernel->SetLogHandler(&log);
    // "home:<folder>/..." reads the game's data from the build's archives.
    bwtest::MountGameArchives(kernel);
    // The start-up script comes from the game's data in the source tree.
    kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (SourceDir() + "/data/bin/win32/").c_str());
    server = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
}

void nScriptFixture::TearDown() {
    delete kernel;
    kernel = nullptr;
    fs::remove_all(dir);
}

std::string nScriptFixture::Write(const std::string& name, const std::string& text) {
    fs::create_directories((dir / name).parent_path());
    std::ofstream(dir / name, std::ios::binary) << text;
    return Path(name);
}

std::string nScriptFixture::Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
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
