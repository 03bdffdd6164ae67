// What scripts see: object and command values, argument and result conversion,
// the global functions and the file dialog.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>

#include "kernel/nCmdDef.h"
#include "tests/script/script_fixture.h"

// Handlers that throw, as an allocation that no bound caught would: through a command
// object, a plain getter and a text getter.
class nThrowing : public nRoot {
public:
    static const nClassInfo classInfo;
    int GetCount() const { throw std::bad_alloc(); }
    const char* GetLabel() const { throw std::length_error("label too long"); }
};
static const nCmdDef<nThrowing> throwingCmds[] = {
    {"v_grow_i", "GROW", [](nThrowing*, nCmd* c) {
         if (c->In()->GetI() > 0) throw std::bad_alloc();
     }},
    {"i_fail_v", "FAIL", [](nThrowing*, nCmd*) { throw std::runtime_error("broken handler"); }},
    Bind<&nThrowing::GetCount>("i_getcount_v", "GCNT"),
    Bind<&nThrowing::GetLabel>("s_getlabel_v", "GLBL"),
};
const nClassInfo nThrowing::classInfo = nClassInfo::Make<nThrowing>("nthrowing", "nroot", throwingCmds);

namespace {

using LuaBindingTest = nScriptFixture;

TEST_F(LuaBindingTest, BareCommandsActOnTheCurrentObject) {
    // A base global of the newer interpreter would hide the command "load".
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("sel('/v'); load('*')"));
    EXPECT_EQ(v->loaded, "*");
    // Only text chunks load, and only through the file server.
    EXPECT_EQ(Eval("type(loadfile)"), "nil");
}

TEST_F(LuaBindingTest, WrongArgumentsDoNothingAndAreLogged) {
    nTestValue* v = NewValue("/v");
    v->i = 7;
    ASSERT_TRUE(Run("o = obj('/v'); r1 = o.seti(); r2 = o.seti(1, 2); r3 = o.seti('x'); r4 = o.seti({})"));
    EXPECT_EQ(v->calls, 0);
    EXPECT_EQ(Global("r1"), "nil");
    EXPECT_TRUE(LogHas("'seti' of class 'ntestvalue' takes 1 argument(s), got 0"));
    EXPECT_TRUE(LogHas("does not fit type 'i'"));
    // A command that returns something returns nothing on bad input.
    EXPECT_EQ(Eval("select('#', obj('/v').geti(5))"), "0");
}

// An exception escaping a handler fails that call with a log line; the script and the
// program go on, and C++ callers see false.
TEST_F(LuaBindingTest, HandlersThatThrowFailTheirCallOnly) {
    kernel->AddClass(nThrowing::classInfo);
    nRoot* t = kernel->New("nthrowing", "/t");
    ASSERT_TRUE(Run("o = obj('/t'); o.grow(0); a = o.grow(2147483647); b = o.fail(); c = o.getcount(); "
                    "d = o.getlabel(); e = o.getname(); after = 1"));
    EXPECT_EQ(Global("after"), "1");
    EXPECT_EQ(Global("a") + Global("b") + Global("c") + Global("d"), "nilnilnilnil");
    EXPECT_EQ(Global("e"), "t");
    for (const char* what : {"'grow' of class 'nthrowing' failed: std::bad_alloc", "'fail' of class 'nthrowing' failed: broken handler",
                             "'getcount' of class 'nthrowing' failed", "'getlabel' of class 'nthrowing' failed: label too long"})
        EXPECT_TRUE(LogHas(what)) << what;
    // The same commands called from C++ through the command objects.
    log.text.clear();
    nArg out[1];
    EXPECT_FALSE(t->Call(nId("GROW"), nullptr, 5));
    EXPECT_TRUE(t->Call(nId("GROW"), nullptr, 0));
    EXPECT_FALSE(t->Call(nId("GCNT"), out));
    EXPECT_TRUE(LogHas("'v_grow_i' on an object of class 'nthrowing' failed")) << log.text;
    EXPECT_TRUE(LogHas("'i_getcount_v' on an object of class 'nthrowing' failed")) << log.text;
}

TEST_F(LuaBindingTest, InputConversions) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("o = obj('/v'); o.seti(-3.9)"));
    EXPECT_EQ(v->i, -3);
    ASSERT_TRUE(Run("o.seti(1e12)"));
    EXPECT_EQ(v->i, 2147483647);
    ASSERT_TRUE(Run("o.sets(42)"));
    EXPECT_EQ(v->s, "42");
    // Bools: nil and false are false, everything else (0 too) true.
    ASSERT_TRUE(Run("o.setb(0)"));
    EXPECT_TRUE(v->b);
    ASSERT_TRUE(Run("o.setb(nil)"));
    EXPECT_FALSE(v->b);

    // Objects: values, paths (saved scripts write objects as paths) and nil.
    nRoot* target = kernel->New("nroot", "/t");
    ASSERT_TRUE(Run("o.seto(obj('/t'))"));
    EXPECT_EQ(v->o, target);
    ASSERT_TRUE(Run("o.seto(nil)"));
    EXPECT_EQ(v->o, nullptr);
    ASSERT_TRUE(Run("o.seto('/t')"));
    EXPECT_EQ(v->o, target);
    v->calls = 0;
    ASSERT_TRUE(Run("o.seto('/missing')"));
    EXPECT_EQ(v->o, target);
    EXPECT_EQ(v->calls, 0);
    EXPECT_TRUE(LogHas("no object at '/missing'"));
}

TEST_F(LuaBindingTest, OutputConversions) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("o = obj('/v'); o.setall(5, 2.5, 'text', 1, '/v')"));
    ASSERT_TRUE(Run("i, f, s, b, p = o.getall()"));
    EXPECT_STREQ(nLuaServer2::GetResult(), "5 2.500000 text true /v");
    EXPECT_EQ(Eval("math.type(i) .. ' ' .. math.type(f) .. ' ' .. s .. ' ' .. b .. ' ' .. p"), "integer float text 1 /v");

    v->hasText = false;
    v->b = false;
    v->o = nullptr;
    const char* result = nullptr;
    ASSERT_TRUE(server->Run("i, f, s, b, p = obj('/v').getall()", result));
    EXPECT_STREQ(result, "5 2.500000 nil false ");
    EXPECT_EQ(Eval("tostring(s) .. ' ' .. tostring(b) .. ' [' .. p .. ']'"), "nil nil []");
}

// Commands that only return one value (int, float, bool, text) are run without a
// command to fill: values, result texts and failures stay those of every other command.
TEST_F(LuaBindingTest, GettersGiveTheSameValuesAndTexts) {
    ASSERT_NE(kernel->New("nenv", "/e"), nullptr);
    ASSERT_TRUE(Run("e = obj('/e'); get = e.geti"));
    const struct { const char* set; const char* get; const char* text; const char* value; } rows[] = {
        {"e.seti(-7)", "r = e.geti()", "-7", "integer -7"},
        {"e.setf(0.5)", "r = e.getf()", "0.500000", "float 0.5"},
        {"e.setb(1)", "r = e.getb()", "true", "integer 1"},
        {"e.setb(nil)", "r = e.getb()", "false", "nil nil"},
        {"e.sets('Tiefsee')", "r = e.gets()", "Tiefsee", "string Tiefsee"},
        {"e.seti(3)", "r = get()", "3", "integer 3"},
        {"", "r = e.getname()", "e", "string e"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.get);
        if (*row.set) {
            ASSERT_TRUE(Run(row.set));
        }
        ASSERT_TRUE(Run(row.get));
        EXPECT_STREQ(nLuaServer2::GetResult(), row.text);
        EXPECT_EQ(Eval("(math.type(r) or type(r)) .. ' ' .. tostring(r)"), row.value);
    }
    // An argument too many is refused as before, and a dead object's getter does nothing.
    ASSERT_TRUE(Run("r = e.geti(1)"));
    EXPECT_EQ(Eval("tostring(r)"), "nil");
    EXPECT_TRUE(LogHas("takes 0 argument(s), got 1"));
    kernel->Lookup("/e")->Release();
    ASSERT_TRUE(Run("r = get()"));
    EXPECT_EQ(Eval("tostring(r)"), "nil");
}

// A getter's result text is written when it is read, not at the call: it stays the
// call's text after the object is renamed or deleted, the pushed string is collected,
// a later command replaces it, or the server that ran the call is closed.
TEST_F(LuaBindingTest, GetterResultTextIsTheCallsWhenReadLater) {
    // Longer than Lua's short strings, which it keeps once per text.
    const std::string name(60, 'q');
    kernel->New("nroot", ("/" + name).c_str());
    ASSERT_TRUE(Run("local n = obj('/" + name + "').getname(); delete('/" + name +
                    "'); n = nil; collectgarbage(); collectgarbage()"));
    EXPECT_EQ(nLuaServer2::GetResult(), name);
    ASSERT_NE(kernel->New("nenv", "/e"), nullptr);
    ASSERT_TRUE(Run("e = obj('/e'); e.setf(0.25); e.getf(); e.setname('x')"));
    EXPECT_STREQ(nLuaServer2::GetResult(), "");
    ASSERT_TRUE(Run("e.getname(); e.getf()"));
    EXPECT_STREQ(nLuaServer2::GetResult(), "0.250000");

    auto* second = static_cast<nLuaServer2*>(kernel->New("nluaserver2", "/sys/servers/second"));
    ASSERT_NE(second, nullptr);
    kernel->New("nroot", ("/" + name).c_str());
    // Not through Run, which reads the text itself before it returns.
    ASSERT_EQ(luaL_dostring(second->GetState(), ("obj('/" + name + "').getname()").c_str()), LUA_OK);
    second->Release();
    EXPECT_EQ(nLuaServer2::GetResult(), name);
}

TEST_F(LuaBindingTest, CommandValuesKeepTheirOwnObject) {
    kernel->New("nroot", "/a");
    kernel->New("nroot", "/b");
    ASSERT_TRUE(Run("f = obj('/a').getname; g = obj('/b').getname"));
    EXPECT_EQ(Eval("f()"), "a");
    EXPECT_EQ(Eval("g()"), "b");
    EXPECT_EQ(Eval("tostring(obj('/a'))"), "/a");
    EXPECT_EQ(Eval("__getstringval(f)"), "/a.getname");
    // Values of one object are one value.
    EXPECT_EQ(Eval("obj('/a') == obj('/a') and obj('/a') ~= obj('/b') and 'same'"), "same");
}

TEST_F(LuaBindingTest, DeadObjectsAreSilentNoOps) {
    nTestValue* v = NewValue("/v");
    ASSERT_TRUE(Run("o = obj('/v'); f = o.seti"));
    v->Release();
    ASSERT_EQ(Lookup("/v"), nullptr);
    log.text.clear();
    ASSERT_TRUE(Run("f(3); r = o.geti; n = select('#', f(4)); m = select('#', r())"));
    EXPECT_EQ(Global("n"), "0");
    EXPECT_EQ(Global("m"), "0");
    EXPECT_EQ(log.text, "");
    // A new object at the same path is a different value.
    NewValue("/v");
    EXPECT_EQ(Eval("obj('/v') ~= o and 'new'"), "new");
    ASSERT_TRUE(Run("obj('/v').seti(9)"));
    EXPECT_EQ(Eval("obj('/v').geti()"), "9");
    // A dead object as an argument refuses the call.
    nTestValue* w = NewValue("/w");
    kernel->New("nroot", "/gone");
    ASSERT_TRUE(Run("g = obj('/gone')"));
    Lookup("/gone")->Release();
    ASSERT_TRUE(Run("obj('/w').seto(g)"));
    EXPECT_EQ(w->calls, 0);
}

TEST_F(LuaBindingTest, CompatTagFunctions) {
    EXPECT_EQ(Eval("tag(obj('/'))"), Global("__tagval_nobjtag"));
    EXPECT_EQ(Eval("tag(obj('/').getname)"), Global("__tagval_ncmdobjtag"));
    // Unknown events and tags are script errors, not crashes.
    EXPECT_FALSE(Run("settagmethod(__tagval_nobjtag, 'nosuchevent', print)"));
    EXPECT_FALSE(Run("settagmethod(999, 'gettable', print)"));
    // The finalizer of object values, reached through their metatable, touches
    // nothing but object values.
    EXPECT_TRUE(Run("local gc = getmetatable(obj('/')).__gc; gc(obj('/').getname); gc({});"
                    "settag({}, __tagval_nobjtag); collectgarbage()"));
    // "_system" is read raw, also when it is missing.
    EXPECT_EQ(Eval("undefined_name"), "nil");
    ASSERT_TRUE(Run("_system = { flag = 5 }"));
    EXPECT_EQ(Eval("flag"), "5");
}

TEST_F(LuaBindingTest, GlobalsRefuseBadArgumentsAndStayInTheTree) {
    ASSERT_TRUE(Run("a = new('nroot'); b = sel(); c = sel('/', '/'); d = obj({}); e = exists()"));
    for (const char* g : {"a", "b", "c", "d", "e"}) EXPECT_EQ(Global(g), "nil") << g;
    EXPECT_TRUE(LogHas("'new' takes 2 argument(s), got 1"));
    EXPECT_EQ(Eval("sel({})"), "nil");
    EXPECT_EQ(Eval("sel(obj('/').getname)"), "nil");
    EXPECT_EQ(Eval("new('nosuchclass', 'x')"), "nil");
    EXPECT_TRUE(LogHas("no object at 'could not convert to string!'"));
    EXPECT_TRUE(LogHas("no object at 'can't convert command/object pair to string!'"));
    EXPECT_TRUE(LogHas("could not create 'x' of class 'nosuchclass'"));
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    // At the root, "sel('..')" and "up()" give nothing and stay.
    EXPECT_EQ(Eval("sel('..')"), "nil");
    EXPECT_EQ(Eval("up()"), "nil");
    EXPECT_EQ(Eval("fullcwd()"), "/");
    // Without an observer, exit does nothing; with one, it calls its quit.
    ASSERT_TRUE(Run("exit()"));
    nTestValue* observer = NewValue("/sys/servers/observer");
    ASSERT_TRUE(Run("exit()"));
    EXPECT_EQ(observer->quitCalls, 1);
}

TEST_F(LuaBindingTest, MoveAndDeleteKeepTheTreeWhole) {
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
    // Long paths stand whole: a path cut short could name another object.
    std::string longParent = "/" + std::string(300, 'x') + "/" + std::string(300, 'y');
    kernel->New("nroot", (longParent + "/target").c_str());
    kernel->New("nroot", longParent.substr(0, 511).c_str());
    ASSERT_TRUE(Run("p = obj('" + longParent + "/target').getparent(); delete(obj('" + longParent + "/target'))"));
    EXPECT_EQ(Global("p"), longParent);
    EXPECT_EQ(Lookup((longParent + "/target").c_str()), nullptr);
    EXPECT_NE(Lookup(longParent.substr(0, 511).c_str()), nullptr);
    // The root and anything holding the running interpreter stay.
    ASSERT_TRUE(Run("delete('/'); delete('/sys/servers'); delete('/sys/servers/script')"));
    EXPECT_NE(Lookup("/sys/servers/script"), nullptr);
    EXPECT_TRUE(LogHas("refusing to delete '/'"));
    ASSERT_TRUE(Run("alive = 1"));

    // greset drops the generated functions and their markers while walking them.
    kernel->New("nroot", "/sys/share/gen_fcts/genf");
    kernel->New("nroot", "/sys/share/gen_fcts/notfn");
    ASSERT_TRUE(Run("function genf() end; notfn = 5; greset()"));
    EXPECT_EQ(Global("genf"), "nil");
    EXPECT_EQ(Global("notfn"), "5");
    EXPECT_EQ(Lookup("/sys/share/gen_fcts")->GetHead(), nullptr);
}

TEST_F(LuaBindingTest, ProcessDirectoryIsListedSorted) {
    // The test's folder name has capitals: the path is resolved on disk, not lower-cased.
    Write("b.n", "x");
    Write("a.n", "x");
    char old[1024];
    ASSERT_NE(getcwd(old, sizeof(old)), nullptr);
    ASSERT_TRUE(Run("cd('" + dir.string() + "'); p = pwd(); l1, l2, l3, l4 = ls(); n = select('#', ls())"));
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(Global("p"), dir.string());
    EXPECT_EQ(Eval("n .. ': ' .. l1 .. ' ' .. l2 .. ' ' .. l3 .. ' ' .. l4"), "4: . .. a.n b.n");
    ASSERT_TRUE(Run("cd('/no/such/dir')"));
    EXPECT_TRUE(LogHas("cannot change to '/no/such/dir'"));
    ASSERT_TRUE(Run("cd('gone:x')"));  // its refusal's one line, no change to ''
    EXPECT_TRUE(LogHas("there is no assign 'gone'") && !LogHas("cannot change to ''"));
}

// The file dialog runs a zenity found on PATH without a shell; a stand-in records
// its arguments and prints a choice.
using FileDialogTest = nScriptFixture;

TEST_F(FileDialogTest, RunsZenityWithoutAShell) {
    struct RestorePath {
        std::string old = std::getenv("PATH") ? std::getenv("PATH") : "";
        ~RestorePath() { setenv("PATH", old.c_str(), 1); }
    } restorePath;
    std::string args = Path("args");
    std::string zenity = Write("zenity", "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\" >> '" + args +
                                             "'; done\n[ -e " + Path("cancel") + " ] && exit 1\n"
                                             "echo '/home/diver/save 1.n'\n");
    chmod(zenity.c_str(), 0755);
    setenv("PATH", dir.c_str(), 1);
    EXPECT_EQ(Eval("getfilename('/tmp/$(touch pwned)', 1)"), "/home/diver/save 1.n");
    EXPECT_NE(Slurp(args).find("--title=Select File\n"), std::string::npos);
    EXPECT_NE(Slurp(args).find("--filename=/tmp/$(touch pwned)/\n"), std::string::npos);
    EXPECT_EQ(Slurp(args).find("--save"), std::string::npos);
    EXPECT_NE(access("pwned", F_OK), 0);
    std::remove(args.c_str());
    ASSERT_TRUE(Run("f = getfilename(nil, nil)"));
    EXPECT_NE(Slurp(args).find("--save"), std::string::npos);
    EXPECT_EQ(Slurp(args).find("--filename"), std::string::npos);
    // The starting folder keeps its letter case on disk.
    std::remove(args.c_str());
    ASSERT_TRUE(Run("f = getfilename('" + dir.string() + "', 1)"));
    EXPECT_NE(Slurp(args).find("--filename=" + dir.string() + "/\n"), std::string::npos);
    std::remove(args.c_str());  // a folder of no assign: no dialog in the working folder
    EXPECT_TRUE(Eval("getfilename('gone:', 1)") == "nil" && access(args.c_str(), F_OK) != 0);
    // Cancelled, or no zenity at all: nil.
    Write("cancel", "");
    EXPECT_EQ(Eval("getfilename(nil, 1)"), "nil");
    setenv("PATH", (dir / "empty").c_str(), 1);
    EXPECT_EQ(Eval("getfilename(nil, nil)"), "nil");
}

}  // namespace
