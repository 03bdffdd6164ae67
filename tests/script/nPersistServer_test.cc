// Saving, loading and cloning through the persistence server with the Lua server as
// saver: round trips, save levels, header tags, bad object files, clone rules.
#include "kernel/nPersistServer.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kernel/nEnv.h"
#include "script/nScriptlet.h"
#include "tests/script/nScriptFixture.h"
#include "tests/script/nTestValue.h"

namespace fs = std::filesystem;

namespace {

class PersistTest : public nScriptFixture {
protected:
    void SetUp() override {
        nScriptFixture::SetUp();
        ps = kernel->GetPersistServer();
        dir = fs::path(testing::TempDir()) /
              ("bw_persist_" + std::to_string(::getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        nScriptFixture::TearDown();
        fs::remove_all(dir);
    }
    std::string Path(const std::string& name) { return (dir / name).string(); }
    std::string Write(const std::string& name, const std::string& text) {
        fs::create_directories((dir / name).parent_path());
        std::ofstream(dir / name, std::ios::binary) << text;
        return Path(name);
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // The subtree as text: one line per object with its class and, for nenv, its value.
    static std::string Describe(nRoot* obj, int depth = 0) {
        std::string text(static_cast<size_t>(depth) * 2, ' ');
        text += std::string(obj->GetName() ? obj->GetName() : "") + " " + obj->GetClass()->GetName();
        if (obj->IsA("nenv")) {
            auto* env = static_cast<nEnv*>(obj);
            text += std::string(" ") + env->GetTypeName() + "=";
            switch (env->GetType()) {
                case nArg::Int: text += std::to_string(env->GetI()); break;
                case nArg::Float: text += std::to_string(env->GetF()); break;
                case nArg::String: text += std::string("[") + env->GetS() + "]"; break;
                case nArg::Bool: text += env->GetB() ? "true" : "false"; break;
                case nArg::Object: text += env->GetO() ? env->GetO()->GetFullName() : "null"; break;
                default: break;
            }
        }
        if (obj->IsA("nscriptlet")) {
            auto* s = static_cast<nScriptlet*>(obj);
            text += std::string(" auto=") + (s->GetAutoRun() ? "1" : "0") + " [" +
                    (s->GetScript() ? s->GetScript() : "(none)") + "]";
        }
        text += "\n";
        for (nRoot* c = obj->GetHead(); c; c = c->GetSucc()) text += Describe(c, depth + 1);
        return text;
    }
    // A complete object file around `body`.
    static std::string ObjectFile(const std::string& parser, const std::string& cls, const std::string& body) {
        return "-- ----- $parser:" + parser + "$ $class:" + cls + "$-- ---\n" + body + "\n-- ----- EOF\n";
    }

    nPersistServer* ps = nullptr;
    fs::path dir;
};

// Every value type, an object value naming the saved object, and texts with quotes,
// backslashes, CR and LF.
const char* kBuildTree = R"(
new('nroot', '/a/b')
sel('/a/b')
new('nenv', 'i'); obj('i').seti(-42)
new('nenv', 'f'); obj('f').setf(1.5)
new('nenv', 's'); obj('s').sets('say "hi" C:\\dir\r\nnext')
new('nenv', 't'); obj('t').setb(true)
new('nenv', 'n'); obj('n').setb(false)
new('nenv', 'u'); obj('u').sets('T\195\188r \195\182ffnen\t$x$')
new('nenv', 'o'); obj('o').seto(obj('/a'))
new('nenv', 'v')
new('nluascriptlet', 'code'); obj('code').setscript("x = 'a\\\\b'\nloaded = (loaded or 0) + 1")
new('nenv', '/a/e'); obj('/a/e').setf(0)
sel('/')
)";

}  // namespace

TEST_F(PersistTest, TheKernelMakesTheServer) {
    ASSERT_NE(ps, nullptr);
    EXPECT_EQ(Lookup("/sys/servers/persist"), ps);
    EXPECT_TRUE(ps->IsA("npersistserver"));
    ASSERT_TRUE(Run("obj('/sys/servers/persist').setsavelevel(3); lvl = obj('/sys/servers/persist').getsavelevel()"));
    EXPECT_EQ(Global("lvl"), "3");
    ASSERT_TRUE(Run("cls = obj('/sys/servers/persist').getsaverclass()"));
    EXPECT_EQ(Global("cls"), "nluaserver2");
}

TEST_F(PersistTest, SavedTreeLoadsBackIdentical) {
    ASSERT_TRUE(Run(kBuildTree));
    std::string before = Describe(Lookup("/a"));
    ASSERT_TRUE(Run("ok = obj('/a').saveas('" + Path("a") + "')"));
    ASSERT_EQ(Global("ok"), "1");
    std::string saved = Slurp(Path("a.n"));

    ASSERT_TRUE(Run("delete('/a')"));
    ASSERT_EQ(Lookup("/a"), nullptr);
    ASSERT_TRUE(Run("sel('/'); r = get('" + Path("a.n") + "')"));
    EXPECT_EQ(Global("r"), "/a");
    ASSERT_NE(Lookup("/a"), nullptr);
    EXPECT_EQ(Describe(Lookup("/a")), before);
    // The object value points at the new object, not at a stale one.
    EXPECT_EQ(static_cast<nEnv*>(Lookup("/a/b/o"))->GetO(), Lookup("/a"));
    EXPECT_STREQ(static_cast<nEnv*>(Lookup("/a/b/s"))->GetS(), "say \"hi\" C:\\dir\r\nnext");
    EXPECT_STREQ(static_cast<nEnv*>(Lookup("/a/b/u"))->GetS(), "T\xC3\xBCr \xC3\xB6" "ffnen\t$x$");
    // The loaded file runs with the new object current; the current object is back after.
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());

    // Saved again, the text is the same.
    ASSERT_TRUE(Lookup("/a")->SaveAs(Path("again").c_str()));
    EXPECT_EQ(Slurp(Path("again.n")), saved);
}

TEST_F(PersistTest, AutoRunScriptletRunsWhenItsFileLoads) {
    ASSERT_TRUE(Run("new('nluascriptlet', '/s'); obj('/s').setscript('loaded = (loaded or 0) + 1')"));
    ASSERT_TRUE(Run("obj('/s').setautorun(true)"));
    ASSERT_TRUE(Lookup("/s")->SaveAs(Path("s").c_str()));
    EXPECT_EQ(Slurp(Path("s.n")),
              "-- ----- $parser:nluaserver2$ $class:nluascriptlet$-- ---\n"
              "setautorun( true )\n"
              "setscript( \"loaded = (loaded or 0) + 1\" )\n"
              "\n"
              "-- ----- EOF\n");
    ASSERT_TRUE(Run("delete('/s'); loaded = nil"));
    ASSERT_NE(kernel->Load(Path("s.n").c_str()), nullptr);
    EXPECT_EQ(Global("loaded"), "1");
}

TEST_F(PersistTest, SaveLevelKeepsOnlyTheStructure) {
    ASSERT_TRUE(Run("new('nenv', '/a/b'); obj('/a/b').seti(5); obj('/a').getname()"));
    ps->SetSaveLevel(1);
    ASSERT_TRUE(Lookup("/a")->SaveAs(Path("a").c_str()));
    ps->SetSaveLevel(0);
    EXPECT_EQ(Slurp(Path("a.n")),
              "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n"
              "\n"
              "-- b\n"
              "new('nenv', 'b')\n"
              "  sel('b')\n"
              "up()\n"
              "\n"
              "-- ----- EOF\n");
}

TEST_F(PersistTest, SaveFlagsOrderAndDepth) {
    nRoot* a = kernel->New("nenv", "/a");
    static_cast<nEnv*>(a)->SetI(1);
    kernel->New("nroot", "/a/c/g");
    a->SetSaveFlags(nRoot::SaveChildrenFirst);
    ASSERT_TRUE(a->SaveAs(Path("first").c_str()));
    std::string first = Slurp(Path("first.n"));
    EXPECT_GT(first.find("seti( 1 )"), first.find("up()"));

    a->SetSaveFlags(nRoot::SaveShallow);
    ASSERT_TRUE(a->SaveAs(Path("shallow").c_str()));
    EXPECT_EQ(Slurp(Path("shallow.n")),
              "-- ----- $parser:nluaserver2$ $class:nenv$-- ---\n"
              "seti( 1 )\n"
              "\n"
              "-- ----- EOF\n");
    nRoot* copy = a->Clone("copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetHead(), nullptr);
    EXPECT_EQ(static_cast<nEnv*>(copy)->GetI(), 1);
}

TEST_F(PersistTest, ObjectNamesFromFileNames) {
    EXPECT_EQ(nPersistServer::ObjectNameOf("scene.n"), "scene");
    EXPECT_EQ(nPersistServer::ObjectNameOf("home:levels/a.b.n"), "a.b");
    EXPECT_EQ(nPersistServer::ObjectNameOf("x."), "x.");
    EXPECT_EQ(nPersistServer::ObjectNameOf("save:game"), "game");
    EXPECT_EQ(nPersistServer::ObjectNameOf("dir\\file.n"), "file");

    // A name without such a file is read as a directory with "_main.n2".
    Write("level/_main.n2", ObjectFile("nluaserver2", "nenv", "seti( 9 )"));
    nRoot* level = kernel->Load(Path("level").c_str());
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->GetFullName(), "/level");
    EXPECT_EQ(static_cast<nEnv*>(level)->GetI(), 9);

    // Loaded under the current object.
    Write("scene.n", ObjectFile("nluaserver2", "nroot", ""));
    kernel->SetCwd(kernel->New("nroot", "/usr"));
    nRoot* scene = kernel->Load(Path("scene.n").c_str());
    kernel->SetCwd(nullptr);
    ASSERT_NE(scene, nullptr);
    EXPECT_EQ(scene->GetFullName(), "/usr/scene");
}

TEST_F(PersistTest, HeaderTags) {
    std::string value;
    std::string ok = Write("ok.n", ObjectFile("nluaserver2", "nenv", ""));
    EXPECT_TRUE(ps->ReadHeaderTag(ok.c_str(), "class", value));
    EXPECT_EQ(value, "nenv");
    EXPECT_TRUE(ps->ReadHeaderTag(ok.c_str(), "parser", value));
    EXPECT_EQ(value, "nluaserver2");
    EXPECT_FALSE(ps->ReadHeaderTag(Path("none.n").c_str(), "class", value));

    // A '$' whose partner lies beyond the first 256 bytes.
    std::string far = Write("far.n", "-- " + std::string(250, ' ') + "$parser:nluaserver2$ $class:nroot$\n-- ----- EOF\n");
    EXPECT_FALSE(ps->ReadHeaderTag(far.c_str(), "parser", value));
    EXPECT_TRUE(LogHas("$...$ definition in object file outside first 256 bytes!"));
    EXPECT_EQ(kernel->Load(far.c_str()), nullptr);
    EXPECT_EQ(Lookup("/far"), nullptr);

    std::string broken = Write("broken.n", ObjectFile("nluaserver2", "nroot", "").replace(10, 7, "parser-"));
    EXPECT_FALSE(ps->ReadHeaderTag(broken.c_str(), "class", value));
    EXPECT_TRUE(LogHas("$...$ definition in object file broken!"));
    EXPECT_EQ(kernel->Load(broken.c_str()), nullptr);
    EXPECT_EQ(Lookup("/broken"), nullptr);
}

TEST_F(PersistTest, BadObjectFilesLoadNothing) {
    struct Case {
        const char* name;
        std::string text;
        const char* logged;
    } cases[] = {
        {"unknown.n", ObjectFile("nluaserver2", "nosuchclass", ""), "unknown class 'nosuchclass'"},
        {"parser.n", ObjectFile("nroot", "nroot", ""), "'nroot' is not a script server class"},
        {"noparser.n", ObjectFile("nosuchparser", "nroot", ""), "no script server class 'nosuchparser'"},
        {"cut.n", "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n\n-- b\nnew('nroot', 'b')\n", "cut short"},
        {"syntax.n", ObjectFile("nluaserver2", "nroot", "new('nroot', 'b')\nsel('b'\n"), "did not load"},
        {"runtime.n", ObjectFile("nluaserver2", "nroot", "new('nroot', 'b')\nerror('broken')\n"), "did not load"},
        {"notags.n", "new('nroot', 'b')\n", "could not load an object"},
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
    std::string dup = Write("dup.n", ObjectFile("nluaserver2", "nenv", "seti( 4 )"));
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
    EXPECT_EQ(ps->GetHead(), nullptr);
    // The class of the script server: that server.
    EXPECT_TRUE(ps->SetSaverClass("nluaserver2"));
    EXPECT_STREQ(ps->GetSaverClass(), "nluaserver2");
    EXPECT_EQ(ps->GetHead(), nullptr);

    // Another script server class gets its own saver under the persistence server. The
    // base server writes nothing, so saving through it fails at the first object.
    EXPECT_TRUE(ps->SetSaverClass("nscriptserver"));
    EXPECT_STREQ(ps->GetSaverClass(), "nscriptserver");
    EXPECT_NE(Lookup("/sys/servers/persist/nscriptserver"), nullptr);
    kernel->New("nroot", "/a");
    EXPECT_FALSE(Lookup("/a")->SaveAs(Path("a").c_str()));
    EXPECT_FALSE(fs::exists(dir / "a.n"));
    EXPECT_FALSE(ps->IsBusy());
}

TEST_F(PersistTest, ObjectStackHoldsReferences) {
    nRoot* a = kernel->New("nroot", "/a");
    nRoot* b = kernel->New("nroot", "/a/b");
    std::ofstream(Path("a.n"), std::ios::binary) << "earlier\n";
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
    ASSERT_TRUE(Run(kBuildTree));
    nRoot* usr = kernel->New("nroot", "/usr");
    kernel->SetCwd(usr);
    std::string source = Describe(Lookup("/a"));
    ASSERT_TRUE(Run("c = obj('/a/b').clone('copy')"));
    EXPECT_EQ(kernel->GetCwd(), usr);
    nRoot* copy = Lookup("/usr/copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(Describe(Lookup("/a")), source);
    // Built by replaying the saved commands: the same children and values.
    std::string copied = Describe(copy);
    std::string original = Describe(Lookup("/a/b"));
    EXPECT_EQ(copied.substr(copied.find('\n')), original.substr(original.find('\n')));
    EXPECT_EQ(static_cast<nEnv*>(Lookup("/usr/copy/o"))->GetO(), Lookup("/a"));
    EXPECT_EQ(ps->GetMode(), nPersistServer::SaveMode);
    kernel->SetCwd(nullptr);

    // Onto an existing object of another class: refused, nothing changes.
    nEnv* taken = static_cast<nEnv*>(kernel->New("nenv", "/taken"));
    taken->SetI(8);
    log.text.clear();
    EXPECT_EQ(Lookup("/a/b")->Clone("taken"), nullptr);
    EXPECT_TRUE(LogHas("cannot clone '/a/b' onto '/taken'"));
    EXPECT_EQ(Lookup("/taken"), taken);
    EXPECT_EQ(taken->GetI(), 8);
    EXPECT_EQ(taken->GetHead(), nullptr);

    // A child that cannot be copied (two children of one name and of different
    // classes): the whole copy is taken back.
    nRoot* twin = kernel->New("nroot", "/a/b/twin");
    twin->SetName("i");
    EXPECT_EQ(Lookup("/a/b")->Clone("fresh"), nullptr);
    EXPECT_EQ(Lookup("/fresh"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    twin->Release();

    // Into its own subtree, and onto itself: refused.
    kernel->SetCwd(Lookup("/a/b"));
    EXPECT_EQ(Lookup("/a")->Clone("inner"), nullptr);
    EXPECT_EQ(Lookup("/a/b/inner"), nullptr);
    kernel->SetCwd(nullptr);
    EXPECT_EQ(Lookup("/a")->Clone("a"), nullptr);
    EXPECT_EQ(Lookup("/a")->Clone(""), nullptr);
    EXPECT_EQ(Describe(Lookup("/a")), source);
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
    EXPECT_EQ(Slurp(Path("a.n")),
              "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n"
              "\n"
              "-- b\n"
              "new('nenv', 'b')\n"
              "  sel('b')\n"
              "up()\n"
              "\n"
              "-- ----- EOF\n");
}
