// Objects saved as Lua object files and loaded or cloned back through the
// persistence server: the file text, round trips, failed saves, bad files, clones.
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nEnv.h"
#include "kernel/nFile.h"
#include "kernel/nPersistServer.h"
#include "kernel/nString.h"
#include "tests/script/script_fixture.h"

namespace fs = std::filesystem;

namespace {

class PersistTest : public nScriptFixture {
protected:
    void SetUp() override {
        nScriptFixture::SetUp();
        ps = kernel->GetPersistServer();
    }
    // Every file left in the test's folder.
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The object's file text, saved as `name`.
    std::string Saved(nRoot* obj, const std::string& name) {
        EXPECT_TRUE(obj->SaveAs(Path(name).c_str()));
        return Slurp(Path(name + ".n"));
    }
    // A complete object file around `body`.
    static std::string ObjectFile(const std::string& cls, const std::string& body,
                                  const std::string& parser = "nluaserver2") {
        return "-- ----- $parser:" + parser + "$ $class:" + cls + "$-- ---\n" + body + "\n-- ----- EOF\n";
    }
    // One command line as WriteCmd formats it.
    std::string Line(nRoot* obj, const char* protoName, void (*fill)(nCmd*)) {
        nCmdProto* proto = obj->GetClass()->FindCmdByName(protoName);
        nCmd* cmd = proto->NewCmd();
        fill(cmd);
        nString text;
        EXPECT_TRUE(server->WriteCmd(text, cmd));
        proto->RelCmd(cmd);
        return text.Get();
    }

    nPersistServer* ps = nullptr;
};
using LuaWriterTest = PersistTest;

// The tree of the golden file: every value type, an object value naming the saved
// object, quotes and backslashes.
const char* kGoldenTree = R"(
new('nroot', '/a/b')
sel('/a/b')
new('nenv', 'i'); obj('i').seti(-42)
new('nenv', 'f'); obj('f').setf(1.5)
new('nenv', 's'); obj('s').sets('say "hi" C:\\dir\nnext')
new('nenv', 't'); obj('t').setb(true)
new('nenv', 'o'); obj('o').seto(obj('/a'))
new('nenv', 'v')
new('nenv', '/a/e'); obj('/a/e').setf(0)
sel('/')
)";

// More for the round trip: CR, false, German text, tabs and dollar signs, and a
// scriptlet whose text holds backslashes and runs as it is set, also when loaded.
const char* kMoreValues = R"(
sel('/a/b')
obj('s').sets('say "hi" C:\\dir\r\nnext')
new('nenv', 'n'); obj('n').setb(false)
new('nenv', 'u'); obj('u').sets('T\195\188r \195\182ffnen\t$x$')
new('nluascriptlet', 'code'); obj('code').setautorun(true)
obj('code').setscript("x = 'a\\\\b'\nloaded = (loaded or 0) + 1")
sel('/')
)";

const char* kStructureOnly = "\n-- b\nnew('nenv', 'b')\n  sel('b')\nup()\n";

}  // namespace

TEST_F(LuaWriterTest, SavedTreeMatchesTheGoldenFileAndLoadsBackIdentical) {
    ASSERT_TRUE(Run(kGoldenTree));
    ASSERT_TRUE(Run("ok = obj('/a').saveas('" + Path("a") + "')"));
    EXPECT_EQ(Global("ok"), "1");
    std::string golden = Slurp(SourceDir() + "/tests/script/golden/tree_a.n");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(Slurp(Path("a.n")), golden);
    // The temporary file is gone once the save is in place.
    EXPECT_EQ(Files(), std::vector<std::string>{"a.n"});

    ASSERT_TRUE(Run(kMoreValues));
    std::string saved = Saved(Lookup("/a"), "a");
    ASSERT_TRUE(Run("delete('/a'); sel('/'); r = get('" + Path("a.n") + "')"));
    ASSERT_EQ(Global("r"), "/a");
    // The scriptlet's flag came back before its text.
    EXPECT_EQ(Global("loaded"), "2");
    // Saved again, the text is the same: every value came back.
    EXPECT_EQ(Saved(Lookup("/a"), "again"), saved);
    // The object value points at the new object, not at a stale one.
    EXPECT_EQ(static_cast<nEnv*>(Lookup("/a/b/o"))->GetO(), Lookup("/a"));
    EXPECT_STREQ(static_cast<nEnv*>(Lookup("/a/b/s"))->GetS(), "say \"hi\" C:\\dir\r\nnext");
    EXPECT_STREQ(static_cast<nEnv*>(Lookup("/a/b/u"))->GetS(), "T\xC3\xBCr \xC3\xB6" "ffnen\t$x$");
    // The loaded file runs with the new object current; the current object is back after.
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
}

TEST_F(LuaWriterTest, CommandLinesAndReturnsBySelect) {
    nRoot* v = NewValue("/v");
    // A missing text is written empty, a missing object as nil (quotes and line
    // breaks in texts are in the golden file and the round trip).
    EXPECT_EQ(Line(v, "setall", [](nCmd* c) {
                  c->In()->SetI(-7); c->In()->SetF(-1.25f); c->In()->SetS(nullptr);
                  c->In()->SetB(true); c->In()->SetO(nullptr);
              }),
              "setall( -7, -1.25000000, \"\", true, nil )\n");
    // No inputs: two blanks between the parentheses.
    EXPECT_EQ(Line(v, "quit", [](nCmd*) {}), "quit(  )\n");
    // Values Lua has no literal for are written as expressions that give them back.
    EXPECT_EQ(Line(v, "setf", [](nCmd* c) { c->In()->SetF(1.0f / 0.0f); }), "setf( 1/0 )\n");
    EXPECT_EQ(Line(v, "setf", [](nCmd* c) { c->In()->SetF(-1.0f / 0.0f); }), "setf( -1/0 )\n");

    // A return that is not to the parent selects by path, and names are escaped
    // inside their quotes.
    nRoot* p = kernel->New("nroot", "/p");
    nRoot* g = kernel->New("nroot", "/p/c/it's");
    nFile* f = server->BeginWrite(Path("q.n").c_str(), p);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(server->WriteBeginSelObject(f, g, p));
    EXPECT_TRUE(server->WriteEndObject(f, g, p));
    EXPECT_TRUE(server->WriteBeginSelObject(f, p, p));  // the current object: nothing
    EXPECT_TRUE(server->EndWrite(f));
    EXPECT_EQ(Slurp(Path("q.n")), ObjectFile("nroot", "  sel('c/it\\'s')\nsel('../..')\n"));
}

TEST_F(LuaWriterTest, NestedSaveResumesTheOuterDepth) {
    nRoot* a = NewValue("/a");
    nRoot* b = NewValue("/a/b");
    nRoot* other = NewValue("/other");
    auto putI = [&](nFile* f, nRoot* obj, int value) {
        nCmdProto* proto = obj->GetClass()->FindCmdByName("seti");
        nCmd* cmd = proto->NewCmd();
        cmd->In()->SetI(value);
        EXPECT_TRUE(server->WriteObjectCmd(f, cmd));
        proto->RelCmd(cmd);
    };
    nFile* outer = server->BeginWrite(Path("outer.n").c_str(), a);
    ASSERT_NE(outer, nullptr);
    ASSERT_TRUE(server->WriteBeginNewObject(outer, b, a));
    putI(outer, b, 1);
    nFile* inner = server->BeginWrite(Path("inner.n").c_str(), other);
    ASSERT_NE(inner, nullptr);
    putI(inner, other, 2);
    EXPECT_TRUE(server->EndWrite(inner));
    putI(outer, b, 3);
    ASSERT_TRUE(server->WriteEndObject(outer, b, a));
    EXPECT_TRUE(server->EndWrite(outer));
    EXPECT_EQ(Slurp(Path("inner.n")), ObjectFile("ntestvalue", "seti( 2 )\n"));
    EXPECT_EQ(Slurp(Path("outer.n")),
              ObjectFile("ntestvalue", "\n-- b\nnew('ntestvalue', 'b')\n  sel('b')\n  seti( 1 )\n  seti( 3 )\nup()\n"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"inner.n", "outer.n"}));
}

TEST_F(LuaWriterTest, AFailedSaveLeavesTheEarlierSaveInPlace) {
    nRoot* a = kernel->New("nroot", "/a");
    nRoot* b = kernel->New("nroot", "/a/b");
    const std::string earlier = "earlier save\n";
    Write("a.n", earlier);

    // Objects begun and not ended.
    nFile* f = server->BeginWrite(Path("a.n").c_str(), a);
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(server->WriteBeginNewObject(f, b, a));
    EXPECT_FALSE(server->EndWrite(f));
    EXPECT_EQ(Slurp(Path("a.n")), earlier);
    EXPECT_TRUE(LogHas("objects begun and not ended"));

    // Given up by the persistence server.
    f = server->BeginWrite(Path("a.n").c_str(), a);
    ASSERT_NE(f, nullptr);
    server->AbortWrite(f);
    EXPECT_EQ(Slurp(Path("a.n")), earlier);
    EXPECT_EQ(Files(), std::vector<std::string>{"a.n"});

    // The disk refuses bytes half-way (a file size limit stands in for a full disk).
    for (int i = 0; i < 200; i++) kernel->New("nroot", ("/a/b/child" + std::to_string(i)).c_str());
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = a->SaveAs(Path("a").c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(LogHas("could not write"));
    EXPECT_EQ(Slurp(Path("a.n")), earlier);
    EXPECT_EQ(Files(), std::vector<std::string>{"a.n"});

    // A target that cannot be replaced (a directory) keeps nothing either.
    fs::create_directories(dir / "d.n" / "x");
    EXPECT_FALSE(b->SaveAs(Path("d").c_str()));
    EXPECT_TRUE(fs::is_directory(dir / "d.n"));
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.n", "d.n"}));

    // A folder that does not exist: nothing is opened.
    EXPECT_FALSE(a->SaveAs(Path("missing/a").c_str()));
    EXPECT_TRUE(LogHas("cannot open"));
    log.text.clear();  // a name of no assign: one refusal, not one for each temporary name
    EXPECT_FALSE(a->SaveAs("gone:a"));
    EXPECT_EQ(log.text, "nFileServer2: path 'gone:a.n' refused: there is no assign 'gone'\n"
                        "nPersistServer: cannot save '/a' as 'gone:a.n'\n");
}

TEST_F(PersistTest, SaveLevelAndFlagsShapeTheFile) {
    ASSERT_TRUE(Run("new('nenv', '/a/b'); obj('/a/b').seti(5)"));
    ps->SetSaveLevel(1);
    EXPECT_EQ(Saved(Lookup("/a"), "a"), ObjectFile("nroot", kStructureOnly));
    ps->SetSaveLevel(0);

    nRoot* e = kernel->New("nenv", "/e");
    static_cast<nEnv*>(e)->SetI(1);
    kernel->New("nroot", "/e/c/g");
    e->SetSaveFlags(nRoot::SaveChildrenFirst);
    std::string first = Saved(e, "first");
    EXPECT_GT(first.find("seti( 1 )"), first.find("up()"));
    e->SetSaveFlags(nRoot::SaveShallow);
    EXPECT_EQ(Saved(e, "shallow"), ObjectFile("nenv", "seti( 1 )\n"));
    nRoot* copy = e->Clone("copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetHead(), nullptr);
    EXPECT_EQ(static_cast<nEnv*>(copy)->GetI(), 1);
}

TEST_F(PersistTest, ADirectoryLoadsFromItsMainFile) {
    Write("level/_main.n2", ObjectFile("nenv", "seti( 9 )"));
    nRoot* level = kernel->Load(Path("level").c_str());
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetFullName(), "/level");
    EXPECT_EQ(static_cast<nEnv*>(level)->GetI(), 9);
}

TEST_F(PersistTest, BadObjectFilesLoadNothing) {
    std::string broken = ObjectFile("nroot", "").replace(10, 7, "parser-");
    struct Case {
        const char* name;
        std::string text;
        const char* logged;
    } cases[] = {
        {"unknown.n", ObjectFile("nosuchclass", ""), "unknown class 'nosuchclass'"},
        {"parser.n", ObjectFile("nroot", "", "nroot"), "'nroot' is not a script server class"},
        {"noparser.n", ObjectFile("nroot", "", "nosuchparser"), "no script server class 'nosuchparser'"},
        {"cut.n", "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n\n-- b\nnew('nroot', 'b')\n", "cut short"},
        {"syntax.n", ObjectFile("nroot", "new('nroot', 'b')\nsel('b'\n"), "did not load"},
        {"runtime.n", ObjectFile("nroot", "new('nroot', 'b')\nerror('broken')\n"), "did not load"},
        {"notags.n", "new('nroot', 'b')\n", "could not load an object"},
        // A '$' whose partner lies beyond the first 256 bytes.
        {"far.n", "-- " + std::string(250, ' ') + "$parser:nluaserver2$ $class:nroot$\n-- ----- EOF\n",
         "$...$ definition in object file outside first 256 bytes!"},
        {"broken.n", broken, "$...$ definition in object file broken!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.text.clear();
        std::string path = Write(c.name, c.text);
        EXPECT_EQ(kernel->Load(path.c_str()), nullptr);
        EXPECT_TRUE(LogHas(c.logged)) << log.text;
        std::string name = nPersistServer::ObjectNameOf(c.name);
        EXPECT_EQ(Lookup(("/" + name).c_str()), nullptr);
        EXPECT_EQ(Lookup("/b"), nullptr);
        EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    }
    // No saver object of a refused class was made.
    EXPECT_EQ(ps->GetHead(), nullptr);

    // Loading over an existing name leaves the existing object alone.
    nEnv* existing = static_cast<nEnv*>(kernel->New("nenv", "/dup"));
    existing->SetI(3);
    std::string dup = Write("dup.n", ObjectFile("nenv", "seti( 4 )"));
    log.text.clear();
    ASSERT_TRUE(Run("r = get('" + dup + "')"));
    EXPECT_EQ(Global("r"), "nil");
    EXPECT_TRUE(LogHas("nPersistServer: trying to overwrite existing object '/dup'!"));
    EXPECT_EQ(Lookup("/dup"), existing);
    EXPECT_EQ(existing->GetI(), 3);
}

TEST_F(PersistTest, SaverClass) {
    EXPECT_FALSE(ps->SetSaverClass("nroot"));
    EXPECT_FALSE(ps->SetSaverClass("nosuchclass"));
    EXPECT_STREQ(ps->GetSaverClass(), "nluaserver2");
    // Another script server class gets its own saver under the persistence server. The
    // base server writes nothing, so saving through it fails at the first object.
    EXPECT_TRUE(ps->SetSaverClass("nscriptserver"));
    EXPECT_NE(Lookup("/sys/servers/persist/nscriptserver"), nullptr);
    kernel->New("nroot", "/a");
    EXPECT_FALSE(Lookup("/a")->SaveAs(Path("a").c_str()));
    EXPECT_FALSE(fs::exists(dir / "a.n"));
    EXPECT_FALSE(ps->IsBusy());
}

TEST_F(PersistTest, ObjectStackHoldsReferences) {
    nRoot* a = kernel->New("nroot", "/a");
    nRoot* b = kernel->New("nroot", "/a/b");
    Write("a.n", "earlier\n");
    ASSERT_TRUE(ps->BeginObject(a, Path("a").c_str()));
    ASSERT_TRUE(ps->BeginObject(b, "b"));
    EXPECT_TRUE(ps->IsBusy());
    b->Release();
    // The dead entry pops as the root; the save is incomplete and replaces nothing.
    EXPECT_FALSE(ps->EndObject());
    EXPECT_FALSE(ps->EndObject());
    EXPECT_FALSE(ps->IsBusy());
    EXPECT_EQ(Slurp(Path("a.n")), "earlier\n");
    EXPECT_FALSE(ps->EndObject());  // nothing open
}

TEST_F(PersistTest, CloneCopiesTheSubtreeAndKeepsTheCurrentObject) {
    ASSERT_TRUE(Run(kGoldenTree));
    ASSERT_TRUE(Run(kMoreValues));
    nRoot* usr = kernel->New("nroot", "/usr");
    kernel->SetCwd(usr);
    std::string source = Saved(Lookup("/a"), "source");
    ASSERT_TRUE(Run("c = obj('/a/b').clone('copy')"));
    EXPECT_EQ(kernel->GetCwd(), usr);
    nRoot* copy = Lookup("/usr/copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Saved(Lookup("/a"), "a"), source);
    // Built by replaying the saved commands: the same children and values.
    EXPECT_EQ(Saved(copy, "copy"), Saved(Lookup("/a/b"), "b"));
    EXPECT_EQ(static_cast<nEnv*>(Lookup("/usr/copy/o"))->GetO(), Lookup("/a"));
    kernel->SetCwd(nullptr);

    // Onto an existing object of another class: refused, nothing changes.
    nEnv* taken = static_cast<nEnv*>(kernel->New("nenv", "/taken"));
    taken->SetI(8);
    log.text.clear();
    EXPECT_EQ(Lookup("/a/b")->Clone("taken"), nullptr);
    EXPECT_TRUE(LogHas("cannot clone '/a/b' onto '/taken'"));
    EXPECT_EQ(Lookup("/taken"), taken);
    EXPECT_EQ(taken->GetHead(), nullptr);

    // A child that cannot be copied (two children of one name and of different
    // classes): the whole copy is taken back.
    nRoot* twin = kernel->New("nroot", "/a/b/twin");
    twin->SetName("i");
    EXPECT_EQ(Lookup("/a/b")->Clone("fresh"), nullptr);
    EXPECT_EQ(Lookup("/fresh"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    twin->Release();

    // Into its own subtree, onto itself, or without a name: refused.
    kernel->SetCwd(Lookup("/a/b"));
    EXPECT_EQ(Lookup("/a")->Clone("inner"), nullptr);
    kernel->SetCwd(nullptr);
    for (const char* name : {"a", "", "a/b/inner", "/a/inner"}) {
        EXPECT_EQ(Lookup("/a")->Clone(name), nullptr) << name;
    }
    EXPECT_EQ(Saved(Lookup("/a"), "a"), source);
}

TEST_F(PersistTest, CloneInsideASaveHasAWalkOfItsOwn) {
    nRoot* a = kernel->New("nroot", "/a");
    kernel->New("nenv", "/a/b");
    nRoot* src = kernel->New("nenv", "/src");
    static_cast<nEnv*>(src)->SetS("text");
    ASSERT_TRUE(ps->BeginObject(a, Path("a").c_str()));
    nRoot* copy = src->Clone("copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(static_cast<nEnv*>(copy)->GetS(), "text");
    EXPECT_EQ(ps->GetMode(), nPersistServer::SaveMode);
    // The save goes on where it was.
    ASSERT_TRUE(ps->BeginObject(Lookup("/a/b"), "b"));
    EXPECT_TRUE(ps->EndObject());
    EXPECT_TRUE(ps->EndObject());
    EXPECT_EQ(Slurp(Path("a.n")), ObjectFile("nroot", kStructureOnly));
}

namespace {

// An env whose SaveCmds first captures another object's commands as text, as a store's
// owner does while a save or clone of the store is open.
class nCapturingEnv : public nEnv {
public:
    static const nClassInfo classInfo;
    bool SaveCmds(nPersistServer* ps) override {
        if (nRoot* src = nKernelServer::ks->Lookup("/src")) {
            captured.Clear();
            if (!ps->CaptureCmds(src, captured)) return false;
        }
        return nEnv::SaveCmds(ps);
    }
    nString captured;
};
const nClassInfo nCapturingEnv::classInfo = nClassInfo::Make<nCapturingEnv>("ncapturingenv", "nenv");

}  // namespace

TEST_F(PersistTest, StringModeWritesCommandLinesIntoATextAndLeavesAnOpenSaveOrCloneAsItWas) {
    kernel->AddClass(nCapturingEnv::classInfo);
    auto* src = static_cast<nEnv*>(kernel->New("nenv", "/src"));
    src->SetS("it's \"quoted\"");
    const std::string line = Line(src, "sets", [](nCmd* c) { c->In()->SetS("it's \"quoted\""); });

    // Alone: the line in the text, no file, the mode as it was.
    const std::vector<std::string> before = Files();
    nString text;
    ASSERT_TRUE(ps->CaptureCmds(src, text));
    EXPECT_EQ(std::string(text.Get()), line);
    EXPECT_EQ(Files(), before);
    EXPECT_EQ(ps->GetMode(), nPersistServer::SaveMode);
    EXPECT_EQ(ps->GetStringTarget(), nullptr);

    // Inside a save two levels deep: the file is the same as a save of the same tree
    // without the capture, and the capture has no indent of its own.
    kernel->New("nroot", "/a");
    kernel->New("nroot", "/a/mid");
    auto* cap = static_cast<nCapturingEnv*>(kernel->New("ncapturingenv", "/a/mid/cap"));
    cap->SetI(7);
    const std::string withCapture = Saved(Lookup("/a"), "with");
    EXPECT_EQ(std::string(cap->captured.Get()), line);
    kernel->SetCwd(kernel->Lookup("/src"));
    src->Release();
    kernel->SetCwd(nullptr);
    EXPECT_EQ(Saved(Lookup("/a"), "without"), withCapture);

    // Inside a clone: the copy is whole, and saves as the original does.
    src = static_cast<nEnv*>(kernel->New("nenv", "/src"));
    src->SetS("it's \"quoted\"");
    kernel->SetCwd(kernel->GetRoot());
    nRoot* copy = Lookup("/a")->Clone("b");
    kernel->SetCwd(nullptr);
    ASSERT_NE(copy, nullptr);
    auto* copiedCap = static_cast<nCapturingEnv*>(Lookup("/b/mid/cap"));
    ASSERT_NE(copiedCap, nullptr);
    EXPECT_EQ(copiedCap->GetI(), 7);
    EXPECT_EQ(std::string(cap->captured.Get()), line);
    EXPECT_EQ(ps->GetMode(), nPersistServer::SaveMode);

    // String mode set by hand without a text writes nothing and fails.
    ps->SetMode(nPersistServer::StringMode);
    ps->SetStringTarget(nullptr);
    EXPECT_FALSE(ps->Put(src, nId("SETS"), "x"));
    ps->SetMode(nPersistServer::SaveMode);
}
