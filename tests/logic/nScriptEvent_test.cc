#include "logic/nScriptEvent.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kernel/nFileServer2.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace {

std::string SourceDir() {
    if (const char* dir = std::getenv("BW_SOURCE_DIR")) return dir;
    std::string file = __FILE__;
    return file.substr(0, file.rfind("/tests/"));
}

// Keeps the texts it is asked to run; runs nothing.
class RecordingScriptServer : public nScriptServer {
public:
    bool Run(const char* text, const char*& result) override {
        texts.push_back(text);
        result = "";
        return !failAll;
    }
    std::vector<std::string> texts;
    bool failAll = false;
};

class ScriptEventTest : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
        });
        recorder = new RecordingScriptServer;
    }
    void TearDown() override {
        recorder->Release();
        delete kernel;
    }
    nLuaServer2* MakeLua() {
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (SourceDir() + "/data/bin/win32/").c_str());
        return static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
    }

    nKernelServer* kernel = nullptr;
    RecordingScriptServer* recorder = nullptr;
};

}  // namespace

TEST_F(ScriptEventTest, FireCallsEveryBoundFunctionWithTheArguments) {
    nScriptEvent ev("onenter", "fisbv");
    EXPECT_STREQ(ev.GetName(), "onenter");
    ASSERT_EQ(ev.GetNumArgs(), 4);
    ev.GetArg(0).SetF(0.5f);
    ev.GetArg(1).SetI(3);
    ev.GetArg(2).SetS("P");
    ev.GetArg(3).SetB(true);

    // nothing bound: nothing runs
    EXPECT_TRUE(ev.Fire(recorder));
    EXPECT_TRUE(recorder->texts.empty());

    ev.AddFunction("f");
    ev.AddFunction("g");
    ev.AddFunction("f");  // bound once only
    EXPECT_EQ(ev.GetNumFunctions(), 2);
    EXPECT_STREQ(ev.GetFunction(1), "g");
    EXPECT_EQ(ev.GetFunction(2), nullptr);
    EXPECT_TRUE(ev.Fire(recorder));
    ASSERT_EQ(recorder->texts.size(), 2u);
    EXPECT_EQ(recorder->texts[0], "f(0.500000,3,'P',1)");
    EXPECT_EQ(recorder->texts[1], "g(0.500000,3,'P',1)");

    ev.RemoveFunction("f");
    ev.RemoveFunction("nothere");
    EXPECT_EQ(ev.GetNumFunctions(), 1);
    EXPECT_STREQ(ev.GetFunction(0), "g");

    // a failing call is reported, and later ones still run
    ev.AddFunction("h");
    recorder->failAll = true;
    recorder->texts.clear();
    EXPECT_FALSE(ev.Fire(recorder));
    EXPECT_EQ(recorder->texts.size(), 2u);

    nScriptEvent none("onloadingfile", "v");
    EXPECT_EQ(none.GetNumArgs(), 0);
    EXPECT_EQ(none.ComposeCall("tick"), "tick()");
    // GetArg past the end grows the list
    none.GetArg(1).SetI(7);
    EXPECT_EQ(none.GetNumArgs(), 2);
}

TEST_F(ScriptEventTest, TextArgumentsCannotBreakOutOfTheirString) {
    nScriptEvent ev("onenter", "s");
    ev.AddFunction("got");
    const std::string nasty = "a'); string = nil; x = ('\\\"\n\r\t\x01" "9 end";
    ev.GetArg(0).SetS(nasty.c_str());
    std::string call = ev.ComposeCall("got").Get();
    EXPECT_EQ(call.find('\n'), std::string::npos);

    nLuaServer2* lua = MakeLua();
    const char* result = nullptr;
    ASSERT_TRUE(lua->Run("received = nil; function got(s) received = s end", result));
    ASSERT_TRUE(ev.Fire(lua));
    ASSERT_TRUE(lua->Run("ok = (received ~= nil) and (string ~= nil)", result));
    lua_State* L = lua->GetState();
    lua_getglobal(L, "received");
    ASSERT_TRUE(lua_isstring(L, -1));
    EXPECT_EQ(std::string(lua_tostring(L, -1)), nasty);
    lua_getglobal(L, "ok");
    EXPECT_TRUE(lua_toboolean(L, -1));
    lua_pop(L, 2);
}

TEST(ScriptEventDeathTest, UnknownArgumentLetterStops) {
    EXPECT_EXIT(nScriptEvent("bad", "ix"), ::testing::ExitedWithCode(3), "Aborting!");
}
