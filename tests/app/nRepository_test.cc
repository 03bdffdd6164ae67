#include "app/nRepository.h"

#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/nAppPackage.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "kernel/nTimeServer.h"
#include "logic/nScriptEvent.h"
#include "platform/system/Clock.h"
#include "script/nLuaServer2.h"
#include "script/nScriptPackage.h"

namespace fs = std::filesystem;

namespace {

std::string SourceDir() {
    if (const char* dir = std::getenv("BW_SOURCE_DIR")) return dir;
    std::string file = __FILE__;
    return file.substr(0, file.rfind("/tests/"));
}

// Time moves only when a script says so.
class StepClock : public sys::Clock {
public:
    int64_t Ticks() override { return ticks; }
    int64_t Frequency() override { return 1000000; }
    void Sleep(int) override {}
    int64_t ticks = 0;
};

class CaptureLog : public nLogHandler {
public:
    void Print(const char* fmt, va_list args) override { Add(fmt, args); }
    void Message(const char* fmt, va_list args) override { Add(fmt, args); }
    void Error(const char* fmt, va_list args) override { Add(fmt, args); }
    std::string text;

private:
    void Add(const char* fmt, va_list args) {
        char buf[4096];
        std::vsnprintf(buf, sizeof(buf), fmt, args);
        text += buf;
    }
};

// "advance(seconds)" for the scripts: moves the step clock on.
int Advance(lua_State* L) {
    auto* clock = static_cast<StepClock*>(lua_touserdata(L, lua_upvalueindex(1)));
    clock->ticks += int64_t(luaL_checknumber(L, 1) * 1000000.0 + 0.5);
    return 0;
}

class RepositoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The tree lies below a folder whose name holds ".n": only file names count.
        root = fs::path(::testing::TempDir()) / ("bw_repo_" + std::to_string(::getpid())) / "x.notes";
        fs::remove_all(root.parent_path());
        fs::create_directories(root);
        kernel = new nKernelServer([](nKernelServer* ks) {
            nKernelPackage(ks);
            nScriptPackage(ks);
            nAppPackage(ks);
        });
        kernel->SetLogHandler(&log);
        kernel->GetFileServer<nFileServer2>()->SetAssign("bin", (SourceDir() + "/data/bin/win32/").c_str());
        kernel->GetFileServer<nFileServer2>()->SetAssign("repo", (root.string() + "/").c_str());
        lua = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/script"));
        kernel->GetTimeServer<nTimeServer>()->SetClock(&clock);
        lua_State* L = lua->GetState();
        lua_pushlightuserdata(L, &clock);
        lua_pushcclosure(L, Advance, 1);
        lua_setglobal(L, "advance");
        Run("runs = ''; function ran(id) runs = runs .. id .. '@' .. fullcwd() .. ' ' end");
        repo = static_cast<nRepository*>(kernel->New("nrepository", "/usr/repo"));
    }
    void TearDown() override {
        delete kernel;
        fs::remove_all(root.parent_path());
    }

    void Write(const std::string& rel, const std::string& text) {
        fs::path p = root / rel;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    bool Run(const std::string& text) {
        const char* result = nullptr;
        return lua->Run(text.c_str(), result);
    }
    std::string Global(const char* name) {
        lua_State* L = lua->GetState();
        lua_getglobal(L, name);
        std::string v = lua_isnil(L, -1) ? "nil" : lua_tostring(L, -1);
        lua_pop(L, 1);
        return v;
    }

    fs::path root;
    StepClock clock;
    CaptureLog log;
    nKernelServer* kernel = nullptr;
    nLuaServer2* lua = nullptr;
    nRepository* repo = nullptr;
};

}  // namespace

TEST(nRepositoryNames, OnlyAnEndingFirstDotNCounts) {
    EXPECT_TRUE(nRepository::IsScriptFileName("a.n"));
    EXPECT_TRUE(nRepository::IsScriptFileName("b.N"));
    EXPECT_TRUE(nRepository::IsScriptFileName(".n"));
    EXPECT_FALSE(nRepository::IsScriptFileName("a.nvx"));
    EXPECT_FALSE(nRepository::IsScriptFileName("a.n.bak"));
    EXPECT_FALSE(nRepository::IsScriptFileName("a.nvx.n"));
    EXPECT_FALSE(nRepository::IsScriptFileName("a.txt"));
    EXPECT_FALSE(nRepository::IsScriptFileName("an"));
    EXPECT_FALSE(nRepository::IsScriptFileName(""));
}

TEST_F(RepositoryTest, RunsExactlyTheScriptFilesWithTheirFoldersCurrent) {
    Write("a.n", "ran('a')");
    Write("b.N", "ran('b')");
    Write("a.nvx", "ran('nvx')");
    Write("a.n.bak", "ran('bak')");
    Write("a.txt", "ran('txt')");
    Write("bad.n", "this is ( not lua");
    Write("CVS/x.n", "ran('cvs')");
    Write("cvs2/c.n", "ran('c')");
    Write("fish/f.n", "ran('f'); new('nroot', 'made')");
    Write("fish/cvs/y.n", "ran('fishcvs')");
    Write("fish/deep/d.n", "ran('d')");

    ASSERT_TRUE(Run("obj('/usr/repo').setdir('repo:')"));
    EXPECT_EQ(repo->GetDir(), kernel->GetFileServer<nFileServer2>()->ManglePath("repo:"));
    ASSERT_TRUE(Run("obj('/usr/repo').load('*')"));
    EXPECT_EQ(Global("runs"),
              "a@/usr/repo b@/usr/repo c@/usr/repo/cvs2 d@/usr/repo/fish/deep f@/usr/repo/fish ");
    nRoot* fish = kernel->Lookup("/usr/repo/fish");
    ASSERT_NE(fish, nullptr);
    EXPECT_STREQ(fish->GetClass()->GetName(), "nroot");
    EXPECT_NE(kernel->Lookup("/usr/repo/fish/made"), nullptr);
    // the current object stays where the last script ran
    EXPECT_EQ(kernel->GetCwd(), fish);
    // the broken script was reported and did not stop the load
    EXPECT_NE(log.text.find("bad.n"), std::string::npos);

    // one subdirectory alone, into the existing objects
    Run("runs = ''");
    repo->Load("/fish");
    EXPECT_EQ(Global("runs"), "d@/usr/repo/fish/deep f@/usr/repo/fish ");
}

TEST_F(RepositoryTest, OnLoadingFiresAsEverySecondOfLoadingPasses) {
    for (int i = 1; i <= 25; i++) {
        char name[32];
        std::snprintf(name, sizeof(name), "f%02d.n", i);
        Write(name, "advance(0.1); seen = seen .. ticks .. ' '");
    }
    Run("ticks = 0; seen = ''; function tick() ticks = ticks + 1 end");
    repo->SetDir("repo:");
    repo->AddOnLoading("tick");
    repo->AddOnLoading("tick");
    EXPECT_EQ(repo->GetOnLoadingEvent()->GetNumFunctions(), 1);
    repo->Load("*");
    // files 1-10 see no call, the call follows the tenth file, and so on
    EXPECT_EQ(Global("seen"), "0 0 0 0 0 0 0 0 0 0 1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 ");
    EXPECT_EQ(Global("ticks"), "2");
    // a new load starts counting from 0 again
    Run("seen = ''");
    repo->Load("*");
    EXPECT_EQ(Global("ticks"), "4");
}

TEST_F(RepositoryTest, MissingFoldersAreLoggedNotFatal) {
    repo->SetDir("repo:nothere");
    repo->Load("*");
    EXPECT_NE(log.text.find("Can't open directory"), std::string::npos);
    Write("a.n", "ran('a')");
    repo->SetDir("repo:");
    repo->Load("/nothere");
    repo->Load(nullptr);
    repo->Load("*");
    EXPECT_EQ(Global("runs"), "a@/usr/repo ");
}

TEST_F(RepositoryTest, UnloadReleasesWhatWasLoaded) {
    Write("fish/f.n", "ran('f')");
    Write("crab/c.n", "ran('c')");
    Write("eel/e.n", "ran('e')");
    repo->SetDir("repo:");
    repo->Load("*");
    ASSERT_NE(kernel->Lookup("/usr/repo/fish"), nullptr);

    repo->Unload("/crab");
    EXPECT_EQ(kernel->Lookup("/usr/repo/crab"), nullptr);
    // nothing above the repository can be reached
    repo->Unload("/..");
    repo->Unload("/nothing");
    EXPECT_NE(kernel->Lookup("/usr"), nullptr);

    nRoot* kept = kernel->Lookup("/usr/repo/fish");
    kept->AddRef();
    repo->Unload("*");
    EXPECT_EQ(kernel->Lookup("/usr/repo/eel"), nullptr);
    EXPECT_EQ(kernel->Lookup("/usr/repo/fish"), kept);
    kept->Release();
    EXPECT_NE(kernel->Lookup("/usr/repo"), nullptr);
}

TEST_F(RepositoryTest, SavesItsDirectory) {
    repo->SetDir("repo:");
    std::string saved;
    ASSERT_TRUE(repo->EmitSaveCmds([&](nCmd* cmd) {
        cmd->Rewind();
        saved = std::string(cmd->GetProto()->GetProtoText()) + " " + cmd->In()->GetS();
        cmd->GetProto()->RelCmd(cmd);
        return true;
    }));
    EXPECT_EQ(saved, std::string("v_setdir_s ") + repo->GetDir());
}

TEST_F(RepositoryTest, AScriptMayDeleteTheRepository) {
    Write("a.n", "ran('a'); delete('/usr/repo')");
    Write("b.n", "ran('b')");
    repo->SetDir("repo:");
    repo->Load("*");
    EXPECT_EQ(Global("runs"), "a@/usr/repo b@/usr/repo ");
    EXPECT_EQ(kernel->Lookup("/usr/repo"), nullptr);
}
