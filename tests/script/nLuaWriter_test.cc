// The object-file text the Lua server writes: header, layout of children, command
// lines, trailer, nested saves, and that a failed save replaces nothing.
#include "script/nLuaWriter.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"
#include "kernel/nFile.h"
#include "kernel/nString.h"
#include "tests/script/nScriptFixture.h"
#include "tests/script/nTestValue.h"

namespace fs = std::filesystem;

namespace {

class LuaWriterTest : public nScriptFixture {
protected:
    void SetUp() override {
        nScriptFixture::SetUp();
        dir = fs::path(testing::TempDir()) /
              ("bw_writer_" + std::to_string(::getpid()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        nScriptFixture::TearDown();
        fs::remove_all(dir);
    }
    // A path in the test's directory (lower case: the file server lower-cases paths).
    std::string Path(const std::string& name) { return (dir / name).string(); }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Every file left in the test's directory.
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
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

    fs::path dir;
};

const char* kBuildTree = R"(
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

}  // namespace

TEST_F(LuaWriterTest, SavedTreeMatchesTheFormatByteForByte) {
    ASSERT_TRUE(Run(kBuildTree));
    ASSERT_TRUE(Run("ok = obj('/a').saveas('" + Path("a") + "')"));
    EXPECT_EQ(Global("ok"), "1");
    std::string golden = Slurp(SourceDir() + "/tests/script/golden/tree_a.n");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(Slurp(Path("a.n")), golden);
    // The temporary file is gone once the save is in place.
    EXPECT_EQ(Files(), std::vector<std::string>{"a.n"});
}

TEST_F(LuaWriterTest, EmptyObjectAndCommandLines) {
    kernel->New("ntestvalue", "/v");
    ASSERT_TRUE(kernel->Lookup("/v")->SaveAs(Path("v").c_str()));
    EXPECT_EQ(Slurp(Path("v.n")),
              "-- ----- $parser:nluaserver2$ $class:ntestvalue$-- ---\n"
              "\n"
              "-- ----- EOF\n");

    nRoot* v = kernel->Lookup("/v");
    kernel->New("nroot", "/x/y");
    EXPECT_EQ(Line(v, "setall", [](nCmd* c) {
                  c->In()->SetI(-7);
                  c->In()->SetF(0.0f);
                  c->In()->SetS("q\"\\\r\n");
                  c->In()->SetB(false);
                  c->In()->SetO(nullptr);
              }),
              "setall( -7, 0.00000000, \"q\\\"\\\\\\r\\n\", false, nil )\n");
    EXPECT_EQ(Line(v, "setall", [](nCmd* c) {
                  c->In()->SetI(2147483647);
                  c->In()->SetF(-1.25f);
                  c->In()->SetS(nullptr);
                  c->In()->SetB(true);
                  c->In()->SetO(nKernelServer::ks->Lookup("/x/y"));
              }),
              "setall( 2147483647, -1.25000000, \"\", true, \"/x/y\" )\n");
    // No inputs: two blanks between the parentheses.
    EXPECT_EQ(Line(v, "quit", [](nCmd*) {}), "quit(  )\n");
    // Values Lua has no literal for are written as expressions that give them back.
    EXPECT_EQ(Line(v, "setf", [](nCmd* c) { c->In()->SetF(1.0f / 0.0f); }), "setf( 1/0 )\n");
    EXPECT_EQ(Line(v, "setf", [](nCmd* c) { c->In()->SetF(-1.0f / 0.0f); }), "setf( -1/0 )\n");
}

TEST_F(LuaWriterTest, GrandchildrenAndReturnsBySelect) {
    kernel->New("nroot", "/p/c/g");
    ASSERT_TRUE(kernel->Lookup("/p")->SaveAs(Path("p").c_str()));
    EXPECT_EQ(Slurp(Path("p.n")),
              "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n"
              "\n"
              "-- c\n"
              "new('nroot', 'c')\n"
              "  sel('c')\n"
              "\n"
              "  -- g\n"
              "  new('nroot', 'g')\n"
              "    sel('g')\n"
              "  up()\n"
              "up()\n"
              "\n"
              "-- ----- EOF\n");

    // Written through the operations directly: a return that is not to the parent
    // selects by path, and names are escaped inside their quotes.
    nRoot* p = kernel->Lookup("/p");
    nRoot* g = kernel->Lookup("/p/c/g");
    g->SetName("it's");
    nFile* f = server->BeginWrite(Path("q.n").c_str(), p);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(server->WriteBeginSelObject(f, g, p));
    EXPECT_TRUE(server->WriteEndObject(f, g, p));
    EXPECT_TRUE(server->WriteBeginSelObject(f, p, p));  // the current object: nothing
    EXPECT_TRUE(server->EndWrite(f));
    EXPECT_EQ(Slurp(Path("q.n")),
              "-- ----- $parser:nluaserver2$ $class:nroot$-- ---\n"
              "  sel('c/it\\'s')\n"
              "sel('../..')\n"
              "\n"
              "-- ----- EOF\n");
}

TEST_F(LuaWriterTest, NestedSaveResumesTheOuterDepth) {
    nRoot* a = kernel->New("ntestvalue", "/a");
    nRoot* b = kernel->New("ntestvalue", "/a/b");
    nRoot* other = kernel->New("ntestvalue", "/other");
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

    EXPECT_EQ(Slurp(Path("inner.n")),
              "-- ----- $parser:nluaserver2$ $class:ntestvalue$-- ---\n"
              "seti( 2 )\n"
              "\n"
              "-- ----- EOF\n");
    EXPECT_EQ(Slurp(Path("outer.n")),
              "-- ----- $parser:nluaserver2$ $class:ntestvalue$-- ---\n"
              "\n"
              "-- b\n"
              "new('ntestvalue', 'b')\n"
              "  sel('b')\n"
              "  seti( 1 )\n"
              "  seti( 3 )\n"
              "up()\n"
              "\n"
              "-- ----- EOF\n");
    EXPECT_EQ(Files(), (std::vector<std::string>{"inner.n", "outer.n"}));
}

TEST_F(LuaWriterTest, AFailedSaveLeavesTheEarlierSaveInPlace) {
    nRoot* a = kernel->New("nroot", "/a");
    nRoot* b = kernel->New("nroot", "/a/b");
    const std::string earlier = "earlier save\n";
    std::ofstream(Path("a.n"), std::ios::binary) << earlier;

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
}
