// The repository: a folder tree of ".n" scripts loaded into the object tree.
#include "app/nRepository.h"

#include <cstdio>
#include <string>

#include "app/nAppPackage.h"
#include "kernel/nFileServer2.h"
#include "kernel/nTimeServer.h"
#include "logic/nScriptEvent.h"
#include "tests/app/StepClock.h"
#include "tests/script/script_fixture.h"

namespace {

// "advance(seconds)" for the scripts: moves the step clock on.
int Advance(lua_State* L) {
    auto* clock = static_cast<StepClock*>(lua_touserdata(L, lua_upvalueindex(1)));
    clock->ticks += int64_t(luaL_checknumber(L, 1) * 1000000.0 + 0.5);
    return 0;
}

class RepositoryTest : public nScriptFixture {
protected:
    void SetUp() override {
        nScriptFixture::SetUp();
        nAppPackage(kernel);
        // The tree lies below a folder whose name holds ".n": only file names count.
        kernel->GetFileServer<nFileServer2>()->SetAssign("repo", Path("x.notes/").c_str());
        kernel->GetTimeServer<nTimeServer>()->SetClock(&clock);
        lua_State* L = server->GetState();
        lua_pushlightuserdata(L, &clock);
        lua_pushcclosure(L, Advance, 1);
        lua_setglobal(L, "advance");
        Run("runs = ''; function ran(id) runs = runs .. id .. '@' .. fullcwd() .. ' ' end");
        repo = static_cast<nRepository*>(kernel->New("nrepository", "/usr/repo"));
    }
    void Add(const std::string& rel, const std::string& text) { Write("x.notes/" + rel, text); }

    StepClock clock;
    nRepository* repo = nullptr;
};

TEST_F(RepositoryTest, RunsExactlyTheScriptFilesWithTheirFoldersCurrent) {
    Add("a.n", "ran('a')");
    Add("b.N", "ran('b')");
    Add(".n", "ran('dot')");
    for (const char* skipped : {"a.nvx", "a.n.bak", "a.nvx.n", "a.txt", "an"}) Add(skipped, "ran('skipped')");
    Add("bad.n", "this is ( not lua");
    Add("CVS/x.n", "ran('cvs')");
    Add("cvs2/c.n", "ran('c')");
    Add("fish/f.n", "ran('f'); new('nroot', 'made')");
    Add("fish/cvs/y.n", "ran('fishcvs')");
    Add("fish/deep/d.n", "ran('d')");

    ASSERT_TRUE(Run("obj('/usr/repo').setdir('repo:')"));
    EXPECT_EQ(repo->GetDir(), kernel->GetFileServer<nFileServer2>()->ManglePath("repo:"));
    ASSERT_TRUE(Run("obj('/usr/repo').load('*')"));
    EXPECT_EQ(Global("runs"),
              "dot@/usr/repo a@/usr/repo b@/usr/repo c@/usr/repo/cvs2 d@/usr/repo/fish/deep f@/usr/repo/fish ");
    nRoot* fish = Lookup("/usr/repo/fish");
    ASSERT_NE(fish, nullptr);
    EXPECT_STREQ(fish->GetClass()->GetName(), "nroot");
    EXPECT_NE(Lookup("/usr/repo/fish/made"), nullptr);
    // The current object stays where the last script ran.
    EXPECT_EQ(kernel->GetCwd(), fish);
    // The broken script was reported and did not stop the load.
    EXPECT_TRUE(LogHas("bad.n"));

    // One subdirectory alone, into the existing objects.
    Run("runs = ''");
    repo->Load("/fish");
    EXPECT_EQ(Global("runs"), "d@/usr/repo/fish/deep f@/usr/repo/fish ");
}

TEST_F(RepositoryTest, OnLoadingFiresAsEverySecondOfLoadingPasses) {
    for (int i = 1; i <= 25; i++) {
        char name[32];
        std::snprintf(name, sizeof(name), "f%02d.n", i);
        Add(name, "advance(0.1); seen = seen .. ticks .. ' '");
    }
    Run("ticks = 0; seen = ''; function tick() ticks = ticks + 1 end");
    repo->SetDir("repo:");
    repo->AddOnLoading("tick");
    repo->AddOnLoading("tick");
    EXPECT_EQ(repo->GetOnLoadingEvent()->GetNumFunctions(), 1);
    repo->Load("*");
    // Files 1-10 see no call, the call follows the tenth file, and so on.
    EXPECT_EQ(Global("seen"), "0 0 0 0 0 0 0 0 0 0 1 1 1 1 1 1 1 1 1 1 2 2 2 2 2 ");
    EXPECT_EQ(Global("ticks"), "2");
    // A new load starts counting from 0 again.
    Run("seen = ''");
    repo->Load("*");
    EXPECT_EQ(Global("ticks"), "4");
}

TEST_F(RepositoryTest, MissingFoldersAreLoggedNotFatal) {
    repo->SetDir("repo:nothere");
    repo->Load("*");
    EXPECT_TRUE(LogHas("Can't open directory"));
    Add("a.n", "ran('a')");
    repo->SetDir("repo:");
    repo->Load("/nothere");
    repo->Load(nullptr);
    repo->Load("*");
    EXPECT_EQ(Global("runs"), "a@/usr/repo ");
}

TEST_F(RepositoryTest, UnloadReleasesOnlyWhatLiesBelow) {
    Add("fish/f.n", "ran('f')");
    Add("crab/c.n", "ran('c')");
    Add("eel/e.n", "ran('e')");
    repo->SetDir("repo:");
    repo->Load("*");
    ASSERT_NE(Lookup("/usr/repo/fish"), nullptr);
    repo->Unload("/crab");
    EXPECT_EQ(Lookup("/usr/repo/crab"), nullptr);
    // Nothing above the repository can be reached.
    repo->Unload("/..");
    repo->Unload("/nothing");
    EXPECT_NE(Lookup("/usr"), nullptr);

    nRoot* kept = Lookup("/usr/repo/fish");
    kept->AddRef();
    repo->Unload("*");
    EXPECT_EQ(Lookup("/usr/repo/eel"), nullptr);
    EXPECT_EQ(Lookup("/usr/repo/fish"), kept);
    kept->Release();
    EXPECT_NE(Lookup("/usr/repo"), nullptr);
}

TEST_F(RepositoryTest, AScriptMayDeleteTheRepository) {
    Add("a.n", "ran('a'); delete('/usr/repo')");
    Add("b.n", "ran('b')");
    repo->SetDir("repo:");
    repo->Load("*");
    EXPECT_EQ(Global("runs"), "a@/usr/repo b@/usr/repo ");
    EXPECT_EQ(Lookup("/usr/repo"), nullptr);
}

// Deleting an object above the repository destroys it at once; the load stops there.
TEST_F(RepositoryTest, AScriptMayDeleteAnObjectAboveTheRepository) {
    Add("fish/f.n", "ran('f'); delete('/usr')");
    Add("fish/g.n", "ran('g')");
    Add("z.n", "ran('z')");
    repo->SetDir("repo:");
    repo->Load("*");
    EXPECT_EQ(Global("runs"), "f@/usr/repo/fish ");
    EXPECT_EQ(Lookup("/usr"), nullptr);

    // The same from a function bound to the loading event.
    Add("fish/f.n", "advance(2)");
    Run("runs = ''; function gone() delete('/usr') end");
    repo = static_cast<nRepository*>(kernel->New("nrepository", "/usr/repo"));
    repo->SetDir("repo:");
    repo->AddOnLoading("gone");
    repo->Load("*");
    EXPECT_EQ(Global("runs"), "");
    EXPECT_EQ(Lookup("/usr"), nullptr);
}

}  // namespace
