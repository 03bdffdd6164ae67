// The global functions: tree navigation, creation, moving and deleting,
// directories, queued text and the file dialog.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/script/nScriptFixture.h"
#include "tests/script/nTestValue.h"

namespace {

class LuaGlobalsTest : public nScriptFixture {};

TEST_F(LuaGlobalsTest, NavigationOfTheTree) {
    ASSERT_TRUE(Run("p = new('nroot', 'usr/logic'); q = new('nroot', 'usr/logic')"));
    EXPECT_EQ(Global("p"), "/usr/logic");
    EXPECT_EQ(Global("q"), "/usr/logic");
    ASSERT_TRUE(Run("r = new('nosuchclass', 'x')"));
    EXPECT_EQ(Global("r"), "nil");
    EXPECT_EQ(Lookup("/x"), nullptr);
    EXPECT_TRUE(LogHas("could not create 'x' of class 'nosuchclass'"));

    ASSERT_TRUE(Run("s = sel('/usr/logic'); c = cwd(); f = fullcwd(); u = up(); c2 = cwd()"));
    EXPECT_EQ(Global("s"), "/usr/logic");
    EXPECT_EQ(Global("c"), "logic");
    EXPECT_EQ(Global("f"), "/usr/logic");
    EXPECT_EQ(Global("u"), "/usr");
    EXPECT_EQ(Global("c2"), "usr");
    ASSERT_TRUE(Run("sel(obj('/usr/logic'))"));
    EXPECT_EQ(kernel->GetCwd(), Lookup("/usr/logic"));

    // At the root, "sel('..')" and "up()" give nothing and stay.
    ASSERT_TRUE(Run("sel('/'); a = sel('..'); b = up(); c = fullcwd()"));
    EXPECT_EQ(Global("a"), "nil");
    EXPECT_EQ(Global("b"), "nil");
    EXPECT_EQ(Global("c"), "/");

    ASSERT_TRUE(Run("e1 = exists('/usr/logic'); e2 = exists('/nothing'); e3 = exists(obj('/usr'))"));
    EXPECT_EQ(Global("e1"), "1");
    EXPECT_EQ(Global("e2"), "nil");
    EXPECT_EQ(Global("e3"), "1");

    kernel->New("nroot", "/usr/b");
    kernel->New("nroot", "/usr/a");
    ASSERT_TRUE(Run("sel('/usr'); n = select('#', dir()); d1, d2, d3 = dir()"));
    EXPECT_EQ(Global("n"), "3");
    EXPECT_EQ(Global("d1"), "logic");
    EXPECT_EQ(Global("d3"), "a");

    ASSERT_TRUE(Run("o = obj('/nothing')"));
    EXPECT_EQ(Global("o"), "nil");
}

TEST_F(LuaGlobalsTest, WrongArgumentsReturnNothing) {
    ASSERT_TRUE(Run("a = new('nroot'); b = sel(); c = sel('/', '/'); d = obj({}); e = exists()"));
    for (const char* g : {"a", "b", "c", "d", "e"}) EXPECT_EQ(Global(g), "nil") << g;
    EXPECT_TRUE(LogHas("'new' takes 2 argument(s), got 1"));
    ASSERT_TRUE(Run("f = sel({}); g = sel(obj('/').getname)"));
    EXPECT_EQ(Global("f"), "nil");
    EXPECT_TRUE(LogHas("no object at 'could not convert to string!'"));
    EXPECT_TRUE(LogHas("no object at 'can't convert command/object pair to string!'"));
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
}

TEST_F(LuaGlobalsTest, MoveAndDelete) {
    kernel->New("nroot", "/a/b/c");
    kernel->New("nroot", "/t");
    ASSERT_TRUE(Run("move('/a/b', '/t')"));
    EXPECT_NE(Lookup("/t/b/c"), nullptr);
    EXPECT_EQ(Lookup("/a/b"), nullptr);

    // Into its own subtree, or the root itself: refused.
    ASSERT_TRUE(Run("move('/t', '/t/b/c'); move('/t', '/t'); move('/', '/a')"));
    EXPECT_EQ(Lookup("/t")->GetParent(), kernel->GetRoot());
    EXPECT_TRUE(LogHas("cannot move into its own subtree"));

    ASSERT_TRUE(Run("delete(obj('/t/b'))"));
    EXPECT_EQ(Lookup("/t/b"), nullptr);
    ASSERT_TRUE(Run("delete('/t')"));
    EXPECT_EQ(Lookup("/t"), nullptr);

    // The root and anything holding the running interpreter stay.
    ASSERT_TRUE(Run("delete('/'); delete('/sys/servers'); delete('/sys/servers/script')"));
    EXPECT_NE(Lookup("/sys/servers/script"), nullptr);
    EXPECT_TRUE(LogHas("refusing to delete '/'"));
    ASSERT_TRUE(Run("alive = 1"));
}

TEST_F(LuaGlobalsTest, ExitCallsTheObserversQuitWhenThereIsOne) {
    ASSERT_TRUE(Run("exit()"));
    auto* observer = static_cast<nTestValue*>(kernel->New("ntestvalue", "/sys/servers/observer"));
    ASSERT_TRUE(Run("exit()"));
    EXPECT_EQ(observer->quitCalls, 1);
}

TEST_F(LuaGlobalsTest, GResetDropsGeneratedFunctions) {
    kernel->New("nroot", "/sys/share/gen_fcts/genf");
    kernel->New("nroot", "/sys/share/gen_fcts/notfn");
    ASSERT_TRUE(Run("function genf() end; notfn = 5; greset()"));
    EXPECT_EQ(Global("genf"), "nil");
    EXPECT_EQ(Global("notfn"), "5");
    EXPECT_EQ(Lookup("/sys/share/gen_fcts")->GetHead(), nullptr);
}

TEST_F(LuaGlobalsTest, ProcessDirectory) {
    std::string dir = testing::TempDir() + "bw_script_ls";
    mkdir(dir.c_str(), 0755);
    std::ofstream(dir + "/b.n") << "x";
    std::ofstream(dir + "/a.n") << "x";
    char old[1024];
    ASSERT_NE(getcwd(old, sizeof(old)), nullptr);
    ASSERT_TRUE(Run("cd('" + dir + "'); p = pwd(); l1, l2, l3, l4 = ls(); n = select('#', ls())"));
    EXPECT_EQ(Global("p"), dir);
    EXPECT_EQ(Global("n"), "4");
    EXPECT_EQ(Global("l1"), ".");
    EXPECT_EQ(Global("l2"), "..");
    EXPECT_EQ(Global("l3"), "a.n");
    EXPECT_EQ(Global("l4"), "b.n");
    ASSERT_TRUE(Run("cd('/no/such/dir')"));
    EXPECT_TRUE(LogHas("cannot change to '/no/such/dir'"));
    ASSERT_EQ(chdir(old), 0);
}

TEST_F(LuaGlobalsTest, LogAndPrintAcceptTheirValue) {
    ASSERT_TRUE(Run("log('x'); __nprint('y'); m = mangle('/a/b')"));
    EXPECT_EQ(Global("m"), "/a/b");
}

// The file dialog runs a zenity found on PATH without a shell; a stand-in
// records its arguments and prints a choice.
class FileDialogTest : public nScriptFixture {
protected:
    void SetUp() override {
        nScriptFixture::SetUp();
        const char* path = std::getenv("PATH");
        oldPath = path ? path : "";
        // One folder per process: CTest runs the dialog cases side by side.
        binDir = testing::TempDir() + "bw_fake_zenity_" + std::to_string(getpid());
        mkdir(binDir.c_str(), 0755);
        argsFile = binDir + "/args";
        std::remove(argsFile.c_str());
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        nScriptFixture::TearDown();
    }
    void InstallZenity(const std::string& body) {
        std::string exe = binDir + "/zenity";
        std::ofstream(exe) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" << argsFile << "'; done\n" << body;
        chmod(exe.c_str(), 0755);
        setenv("PATH", binDir.c_str(), 1);
    }
    std::string Args() {
        std::ifstream in(argsFile);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string oldPath, binDir, argsFile;
};

TEST_F(FileDialogTest, NilWithoutZenity) {
    setenv("PATH", (binDir + "/empty").c_str(), 1);
    ASSERT_TRUE(Run("f = getfilename(nil, nil)"));
    EXPECT_EQ(Global("f"), "nil");
}

TEST_F(FileDialogTest, ReturnsTheChoiceAndPassesNamesUnparsed) {
    InstallZenity("echo '/home/diver/save 1.n'\n");
    ASSERT_TRUE(Run("f = getfilename('/tmp/$(touch pwned)', 1)"));
    EXPECT_EQ(Global("f"), "/home/diver/save 1.n");
    std::string args = Args();
    EXPECT_NE(args.find("--title=Select File\n"), std::string::npos);
    EXPECT_NE(args.find("--filename=/tmp/$(touch pwned)/\n"), std::string::npos);
    EXPECT_EQ(args.find("--save"), std::string::npos);
    EXPECT_NE(access("pwned", F_OK), 0);

    std::remove(argsFile.c_str());
    ASSERT_TRUE(Run("f = getfilename(nil, nil)"));
    EXPECT_NE(Args().find("--save"), std::string::npos);
    EXPECT_EQ(Args().find("--filename"), std::string::npos);
}

TEST_F(FileDialogTest, NilWhenCancelled) {
    InstallZenity("exit 1\n");
    ASSERT_TRUE(Run("f = getfilename(nil, 1)"));
    EXPECT_EQ(Global("f"), "nil");
}

}  // namespace
