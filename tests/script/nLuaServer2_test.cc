// Running text, buffers and files, the per-frame step, the prompt and bad input.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkWriter.h"
#include "kernel/nScriptServer.h"
#include "tests/script/nScriptFixture.h"
#include "tests/script/nTestValue.h"

namespace {

class LuaServerTest : public nScriptFixture {
protected:
    // A script file in a fresh directory of the test's own.
    std::string WriteFile(const std::string& name, const std::string& text) {
        std::string path = testing::TempDir() + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    int EnvInt(const char* path) {
        nArg out;
        nRoot* env = Lookup(path);
        if (!env || !env->Call(nId("GETI"), &out)) return -1;
        return out.GetI();
    }
};

TEST_F(LuaServerTest, RunReportsSuccessAndTheLastResult) {
    kernel->New("nroot", "/a");
    const char* result = nullptr;
    ASSERT_TRUE(server->Run("obj('/a').getname()", result));
    EXPECT_STREQ(result, "a");
    ASSERT_TRUE(server->Run("x = 1", result));
    EXPECT_STREQ(result, "");
    // The result text can be run again as it stands.
    kernel->New("nroot", "/ran = 'again'");
    ASSERT_TRUE(server->Run("obj(\"/ran = 'again'\").getname()", result));
    EXPECT_TRUE(server->Run(nLuaServer2::GetResult(), result));
    EXPECT_EQ(Global("ran"), "again");
    const char* text = "obj('/a').getfullname()";
    EXPECT_STREQ(server->RunBuffer(text, std::strlen(text), "buf"), "/a");
}

TEST_F(LuaServerTest, ScriptErrorsAreLoggedAndReportedAsFailure) {
    kernel->New("nroot", "/a");
    const char* result = nullptr;
    EXPECT_FALSE(server->Run("obj('/a').getname() x = = 1", result));
    EXPECT_STREQ(result, "");
    EXPECT_TRUE(LogHas("unexpected symbol"));

    log.text.clear();
    EXPECT_FALSE(server->Run("obj('/a').getname(); error('boom')", result));
    EXPECT_STREQ(result, "");
    EXPECT_TRUE(LogHas("boom"));
    EXPECT_TRUE(LogHas("stack traceback"));

    EXPECT_FALSE(server->Run("local function f(n) return f(n + 1) + 1 end f(1)", result));
    EXPECT_TRUE(LogHas("stack overflow"));
    EXPECT_FALSE(server->Run("local s = string.rep('x', 1 << 30)", result));
    EXPECT_TRUE(LogHas("not enough memory"));
    EXPECT_EQ(server->RunBuffer("error('x')", 10, "buf")[0], 0);

    // A handler the script installs takes the messages over.
    log.text.clear();
    ASSERT_TRUE(server->Run("function _ERRORMESSAGE(m) caught = m end", result));
    EXPECT_FALSE(server->Run("error('mine')", result));
    EXPECT_NE(Global("caught").find("mine"), std::string::npos);
    EXPECT_FALSE(LogHas("mine"));

    // The interpreter is still usable afterwards.
    EXPECT_TRUE(server->Run("obj('/a').setname('c')", result));
    EXPECT_NE(Lookup("/c"), nullptr);
}

TEST_F(LuaServerTest, OnlyTextChunksLoad) {
    ASSERT_TRUE(Run("bin = string.dump(function() ran = true end)"));
    std::string chunk = Global("bin");
    const char* res = server->RunBuffer(chunk.data(), chunk.size(), "binary");
    EXPECT_EQ(res[0], 0);
    EXPECT_EQ(Global("ran"), "nil");
    EXPECT_TRUE(LogHas("attempt to load a binary chunk"));
}

TEST_F(LuaServerTest, RunScriptNamesTheFileAndLineOfAnError) {
    std::string good = WriteFile("good.n", "new('nroot', 'fromfile')\nsel('fromfile')\nsetname('renamed')\n");
    const char* result = nullptr;
    ASSERT_TRUE(server->RunScript(good.c_str(), result));
    EXPECT_NE(Lookup("/renamed"), nullptr);

    std::string bad = WriteFile("bad.n", "x = 1\n\nerror('third line')\n");
    EXPECT_FALSE(server->RunScript(bad.c_str(), result));
    EXPECT_TRUE(LogHas("bad.n:3: third line"));

    EXPECT_FALSE(server->RunScript((testing::TempDir() + "missing.n").c_str(), result));
    EXPECT_TRUE(LogHas("missing.n"));
    // dofile reads through the server as well.
    ASSERT_TRUE(Run("dofile('" + good + "')"));
}

TEST_F(LuaServerTest, ScriptsRunFromAnArchive) {
    char tmpl[] = "/tmp/bw_script_npk_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::string script =
        "new('nroot','a'); sel('a'); setname('b')\n"
        "full = obj('/b').getfullname()\n"
        "bad = obj('/b').setname('x', 'y')\n";
    std::string failing = "x = 1\nerror('in the archive')\n";
    nNpkWriter w;
    w.BeginDir("data.npk");
    w.BeginDir("scripts");
    w.AddFile("t.n", script.data(), script.size());
    w.AddFile("fail.n", failing.data(), failing.size());
    w.EndDir();
    w.EndDir();
    ASSERT_TRUE(w.Save(dir + "/data.npk")) << w.GetError();

    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("arc", (dir + "/").c_str()));
    kernel->ReplaceFileServer("nnpkfileserver");
    ASSERT_EQ(kernel->GetFileServer<nNpkFileServer>()->ParseDirectory("arc:"), 1);

    const char* result = nullptr;
    ASSERT_TRUE(server->RunScript("arc:data.npk/scripts/t.n", result));
    EXPECT_EQ(Global("full"), "/b");
    EXPECT_EQ(Global("bad"), "nil");
    EXPECT_NE(Lookup("/b"), nullptr);
    EXPECT_EQ(Lookup("/x"), nullptr);
    EXPECT_FALSE(server->RunScript("arc:data.npk/scripts/fail.n", result));
    EXPECT_TRUE(LogHas("arc:data.npk/scripts/fail.n:2: in the archive"));
    ASSERT_TRUE(Run("new('nroot', '/sub'); sel('/sub'); dofile('arc:data.npk/scripts/t.n')"));
    EXPECT_NE(Lookup("/sub/b"), nullptr);
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST_F(LuaServerTest, TriggerRunsQueuedTextAsOneChunk) {
    ASSERT_TRUE(Run("execbuf('local x = 5'); execbuf('y = x')"));
    EXPECT_EQ(Global("y"), "nil");
    EXPECT_TRUE(server->Trigger());
    EXPECT_EQ(Global("y"), "5");

    // Text queued by queued text runs a frame later.
    ASSERT_TRUE(Run("execbuf(\"execbuf('second = 2'); first = 1\")"));
    EXPECT_TRUE(server->Trigger());
    EXPECT_EQ(Global("first"), "1");
    EXPECT_EQ(Global("second"), "nil");
    EXPECT_TRUE(server->Trigger());
    EXPECT_EQ(Global("second"), "2");

    // Queued text is never cut, however long.
    std::string longText = "long = 0\n";
    for (int i = 0; i < 2000; i++) longText += "long = long + 1\n";
    server->Enqueue(longText.c_str());
    EXPECT_TRUE(server->Trigger());
    EXPECT_EQ(Global("long"), "2000");
}

TEST_F(LuaServerTest, TriggerPublishesMemoryAndReportsQuit) {
    ASSERT_TRUE(server->Trigger());
    int kb = EnvInt("/sys/var/lua_kbyte_count");
    EXPECT_GT(kb, 0);
    EXPECT_LT(kb, 700);
    EXPECT_EQ(EnvInt("/sys/var/lua_gc_threshold"), 700);
    ASSERT_TRUE(Run("keep = {} for i = 1, 20000 do keep[i] = 'v' .. i end"));
    ASSERT_TRUE(server->Trigger());
    EXPECT_GT(EnvInt("/sys/var/lua_kbyte_count"), 700);

    // Deleted by a script, the variables come back at the next frame.
    ASSERT_TRUE(Run("delete('/sys/var')"));
    EXPECT_TRUE(server->Trigger());
    EXPECT_GT(EnvInt("/sys/var/lua_kbyte_count"), 0);

    server->SetQuitRequested(true);
    EXPECT_FALSE(server->Trigger());
    EXPECT_TRUE(server->Trigger());
}

TEST_F(LuaServerTest, Prompt) {
    char buf[64];
    EXPECT_STREQ(server->Prompt(buf, sizeof(buf)), "/:>");
    kernel->New("nroot", "/abcdefghij/klmnopqr");  // 20 characters
    ASSERT_TRUE(Run("sel('/abcdefghij/klmnopqr')"));
    EXPECT_STREQ(server->Prompt(buf, sizeof(buf)), "/abcdefghij/klmnopqr:>");
    kernel->New("nroot", "/abcdefghij/klmnopqrs");  // 21 characters
    ASSERT_TRUE(Run("sel('/abcdefghij/klmnopqrs')"));
    EXPECT_STREQ(server->Prompt(buf, sizeof(buf)), "...efghij/klmnopqrs:>");
    EXPECT_STREQ(server->Prompt(buf, 5), "...e");
}

TEST_F(LuaServerTest, TheBaseServerRunsNothing) {
    auto* base = static_cast<nScriptServer*>(kernel->New("nscriptserver", "/sys/servers/base"));
    ASSERT_NE(base, nullptr);
    const char* result = nullptr;
    EXPECT_FALSE(base->Run("x = 1", result));
    EXPECT_FALSE(base->RunScript("bin:init_scriptserver.bs", result));
    EXPECT_EQ(base->BeginWrite("x.n", base), nullptr);
    EXPECT_TRUE(base->Trigger());
    EXPECT_TRUE(base->Trigger());
}

TEST_F(LuaServerTest, ALaterRequestForTheOldClassNameGetsTheSameServer) {
    EXPECT_EQ(kernel->NewNoFail("nluaserver", "/sys/servers/script"), server);
}

}  // namespace
