// Running text, buffers and files (also from archives), bad input and the
// per-frame step.
#include <cstring>
#include <string>

#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkWriter.h"
#include "tests/script/script_fixture.h"

namespace {

using LuaServerTest = nScriptFixture;

TEST_F(LuaServerTest, RunGivesTheLastResultWhichCanRunAgain) {
    kernel->New("nroot", "/a");
    const char* result = nullptr;
    ASSERT_TRUE(server->Run("obj('/a').getname()", result));
    EXPECT_STREQ(result, "a");
    ASSERT_TRUE(server->Run("x = 1", result));
    EXPECT_STREQ(result, "");
    // The text handed in is the result buffer itself, which the run clears.
    kernel->New("nroot", "/ran = 'again'");
    ASSERT_TRUE(server->Run("obj(\"/ran = 'again'\").getname()", result));
    EXPECT_TRUE(server->Run(nLuaServer2::GetResult(), result));
    EXPECT_EQ(Global("ran"), "again");
    const char* text = "obj('/a').getfullname()";
    EXPECT_STREQ(server->RunBuffer(text, std::strlen(text), "buf"), "/a");
}

TEST_F(LuaServerTest, BadInputIsLoggedAndReportedAsFailure) {
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

    // Only text chunks load: a precompiled one could crash the interpreter.
    ASSERT_TRUE(Run("bin = string.dump(function() ran = true end)"));
    std::string chunk = Global("bin");
    EXPECT_EQ(server->RunBuffer(chunk.data(), chunk.size(), "binary")[0], 0);
    EXPECT_EQ(Global("ran"), "nil");
    EXPECT_TRUE(LogHas("attempt to load a binary chunk"));

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

// Standard output is the log's: what print writes has the log's bounds.
TEST_F(LuaServerTest, PrintWritesThroughTheLog) {
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Run("print('a', 1, nil, true)"));
    const char* result = nullptr;
    EXPECT_TRUE(server->RunLine("print(string.rep('x', 1 << 20))", result));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(log.text.substr(0, 13), "a\t1\tnil\ttrue\n");
    // A line's print is data's, and says so before its text.
    EXPECT_EQ(log.text.substr(13, 15), "print of data: ");
    EXPECT_EQ(log.text.size(), 13u + 15u + 1026u + 1u);
}

// Scripts are read through the file server, so archives work too; a failing one
// is false with its file and line in the log.
TEST_F(LuaServerTest, RunScriptFromAnArchiveNamesTheFileAndLineOfAnError) {
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
    ASSERT_TRUE(w.Save(Path("data.npk"))) << w.GetError();
    ASSERT_TRUE(kernel->GetFileServer()->SetAssign("arc", (dir.string() + "/").c_str()));
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
    EXPECT_FALSE(server->RunScript("arc:data.npk/scripts/missing.n", result));
    EXPECT_TRUE(LogHas("cannot read script 'arc:data.npk/scripts/missing.n'"));
    // dofile reads through the server as well.
    ASSERT_TRUE(Run("new('nroot', '/sub'); sel('/sub'); dofile('arc:data.npk/scripts/t.n')"));
    EXPECT_NE(Lookup("/sub/b"), nullptr);
}

TEST_F(LuaServerTest, TriggerRunsQueuedTextAndPublishesMemory) {
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

    // Deleted by a script, the memory variables come back at the next frame.
    auto envInt = [&](const char* path) {
        nArg out;
        nRoot* env = Lookup(path);
        return env && env->Call(nId("GETI"), &out) ? out.GetI() : -1;
    };
    ASSERT_TRUE(Run("delete('/sys/var')"));
    EXPECT_TRUE(server->Trigger());
    EXPECT_GT(envInt("/sys/var/lua_kbyte_count"), 0);
    EXPECT_EQ(envInt("/sys/var/lua_gc_threshold"), 700);

    server->SetQuitRequested(true);
    EXPECT_FALSE(server->Trigger());
    EXPECT_TRUE(server->Trigger());
}

}  // namespace
