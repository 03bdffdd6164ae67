// Files and lines that arrive as data: what they may reach and their budgets.
#include <signal.h>

#include <filesystem>
#include <vector>

#include "kernel/nEnv.h"
#include "kernel/nTimeServer.h"
#include "tests/script/script_fixture.h"

namespace {

using DataTrustTest = nScriptFixture;

TEST_F(DataTrustTest, ObjectFilesLoadAsDataAndReachNothingElse) {
    // A file in the object-file format, written out by hand: header, nested objects,
    // every kind of value, the trailer.
    ASSERT_TRUE(LoadData("-- ---- $parser:nluaserver2$ $class:nroot$-- ---\n\n-- a\nnew('nenv', 'a')\n"
                         "  sel('a')\n  setf( 0/0 )\n  setf( -1/0 )\n  sets( \"x\\\"y\\\\\\n\" )\n  up()\n\n"
                         "-- b\nnew('nroot', 'b')\n  sel('b')\n\n  -- m\n  new('nluascriptlet', 'm')\n"
                         "    sel('m')\n    setautorun( false )\n    setscript( \"io.write('hi')\" )\n"
                         "  sel('..')\nup()\nsel('b/m')\nsel('../..')\n\n-- ----- EOF\n"))
        << log.text;
    EXPECT_STREQ(static_cast<nEnv*>(Lookup("/load/a"))->GetS(), "x\"y\\\n");
    ASSERT_NE(Lookup("/load/b/m"), nullptr);
    EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());

    // Our own writer's file of the same objects loads back the same.
    const char* result = nullptr;
    ASSERT_TRUE(Lookup("/load")->SaveAs(Path("copy").c_str()));
    ASSERT_TRUE(server->RunDataFile(Path("copy.n").c_str(), kernel->New("nroot", "/copy"), result)) << log.text;
    EXPECT_NE(Lookup("/copy/b/m"), nullptr);

    // Each of these is refused, named in the log, and changes nothing outside "/load".
    const std::string marker = Path("ran");
    const std::string victim = Write("victim.txt", "kept");
    const std::pair<std::string, std::string> hostile[] = {
        {"io.popen('touch " + marker + "')", "'io'"},
        {"os.execute('touch " + marker + "')", "'os'"},
        {"load('x = 1')()", "'load'"},
        {"dofile('" + victim + "')", "'dofile'"},
        {"delete('/sys/servers/script')", "'delete'"},
        {"sel('/sys/servers')", "selecting '/sys/servers'"},
        {"sel('..')", "selecting '..'"},
        {"up()", "'up' above"},
        {"new('nroot', '/evil')", "a path"},
        {"new('nroot', \"a');b=('\\\\\\n\")", "naming an object"},
        {"new('nluaserver2', 's')", "class 'nluaserver2'"},
        {"new('nenv', 'e') sel('e') getclass()", "gives values back"},
        {"new('nenv', 'e') sel('e') seto('/sys/servers')", "outside the loaded"},
        {"x = 1", "setting the global 'x'"},
        {"new('nluascriptlet', 'm') sel('m') setautorun(true) setscript(\"io.open('" + victim + "', 'w')\")",
         "running script text"},
        {"while true do end", "budget"},
    };
    for (const auto& [text, why] : hostile) {
        log.text.clear();
        EXPECT_FALSE(LoadData(text)) << text;
        EXPECT_TRUE(LogHas("data.n' refused: ") && LogHas(why)) << text << "\n" << log.text;
        EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot());
    }
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_EQ(Slurp(victim), "kept");
    EXPECT_EQ(Lookup("/evil"), nullptr);
    EXPECT_EQ(Lookup("/sys/servers/script"), server);
    EXPECT_EQ(Global("x"), "nil");

    // A file too big is refused before it is read.
    const std::string big = Write("big.n", "");
    std::filesystem::resize_file(big, nLuaServer2::MaxDataFileSize + 1);
    EXPECT_FALSE(server->RunDataFile(big.c_str(), Lookup("/load"), result));
    EXPECT_TRUE(LogHas("bytes, more than"));
}

TEST_F(DataTrustTest, LinesReachTheGameButNoFilesAndStayBounded) {
    const std::string victim = Write("victim.txt", "kept");
    const char* result = nullptr;
    ASSERT_TRUE(Run("function menuaction(e) picked = e end"));
    kernel->New("nroot", "/usr/persist");
    EXPECT_TRUE(server->RunLine("menuaction('neu'); new('nroot', '/usr/persist/made')", result)) << log.text;
    EXPECT_EQ(Global("picked"), "neu");
    EXPECT_NE(Lookup("/usr/persist/made"), nullptr);
    for (const std::string& line : std::vector<std::string>{
             "io.open('" + victim + "', 'w')", "_G.io.open('" + victim + "', 'w')", "getmetatable(_ENV)",
             "while true do pcall(function() while true do end end) end"}) {
        log.text.clear();
        EXPECT_FALSE(server->RunLine(line.c_str(), result)) << line;
        EXPECT_TRUE(LogHas("not open to this line") || LogHas("budget")) << line << "\n" << log.text;
    }
    // Text that a line runs or queues runs as a line too; the start scripts keep what lines
    // may not reach (object files through "get").
    ASSERT_TRUE(Run("new('nluascriptlet', '/s') obj('/s').setscript('z = type(get)')"));
    server->RunLine("obj('/s').run() execbuf('q = type(get)')", result);
    server->Trigger();
    EXPECT_EQ(Global("z") + Global("q"), "nilnil");
    ASSERT_TRUE(Run("obj('/s').run()"));
    EXPECT_EQ(Global("z"), "function");
}

// The engine is the person's: data's text calls no command of an object under "/sys" that
// its class does not open to data, and makes or clones no server and nothing there. Each
// refusal is one log line and the run goes on; a person's text keeps every command.
TEST_F(DataTrustTest, DataReachesTheEngineOnlyThroughTheCommandsItsClassesOpen) {
    const char* result = nullptr;
    nTestValue* v = NewValue("/usr/v");
    const std::string hostile[] = {
        "obj('/sys/servers/time').waitdeltat(1000000)",
        "obj('/sys/servers/time').settimescale(0/0)",
        "sel('/sys/servers/time') stoptime() sel('/')",
        "obj('/sys/servers/script').clone('/scriptclone')",
        "obj('/sys/servers/file2').clone('/usr/fileclone')",
        "obj('/sys/servers/file2').setassign('home', '/')",
        "new('nluaserver2', '/usr/lua2_1')",
        "new('nfileserver2', '/usr/files')",
        "new('nroot', '/sys/servers/planted')",
        "obj('/usr/v').clone('/sys/servers/copy')",
    };
    for (const std::string& line : hostile) {
        log.text.clear();
        EXPECT_TRUE(server->RunLine((line + " obj('/usr/v').seti(7)").c_str(), result)) << line << log.text;
        EXPECT_EQ(v->i, 7) << line;  // the run went on
        v->i = 0;
        EXPECT_TRUE(LogHas("refused to script text that data brought")) << line << "\n" << log.text;
    }
    nTimeServer* time = kernel->GetTimeServer();
    EXPECT_EQ(time->GetWaitDeltaT(), 0.0);
    EXPECT_EQ(time->GetTimeScale(), 1.0);
    for (const char* path : {"/scriptclone", "/usr/fileclone", "/usr/lua2_1", "/usr/files", "/sys/servers/planted",
                             "/sys/servers/copy"}) {
        EXPECT_EQ(Lookup(path), nullptr) << path;
    }
    // A harmless read stays open, and the game's own objects keep all their commands.
    EXPECT_TRUE(server->RunLine("obj('/usr/v').sets(obj('/sys/servers/time').getclass())", result));
    EXPECT_EQ(v->s, "ntimeserver") << log.text;
    kernel->New("nroot", "/usr/persist");
    EXPECT_TRUE(server->RunLine("obj('/usr/v').clone('/usr/persist/w')", result));
    EXPECT_NE(Lookup("/usr/persist/w"), nullptr);
    // A person's text reaches the engine as before.
    ASSERT_TRUE(Run("obj('/sys/servers/script').clone('/scriptclone') obj('/sys/servers/time').settimescale(2)"));
    EXPECT_NE(Lookup("/scriptclone"), nullptr);
    EXPECT_EQ(time->GetTimeScale(), 2.0);
}

// A closed window ends a looping script as a stop signal does: the watch asks it while the
// run goes on. (SIGTERM is shown on the installed game.)
bool closedWindow = false;

TEST_F(DataTrustTest, AClosedWindowEndsALoopingScript) {
    nLuaServer2::CatchStopSignals(server, [] { return closedWindow; });
    lua_register(server->GetState(), "closewindow", [](lua_State*) {
        closedWindow = true;
        return 0;
    });
    EXPECT_FALSE(Run("closewindow() while true do end"));
    EXPECT_TRUE(LogHas("stopped: the program is ending"));
    EXPECT_FALSE(server->Trigger());  // the main loop ends
    closedWindow = false;
    EXPECT_TRUE(Run("after = 1"));  // shutdown may run scripts
    nLuaServer2::CatchStopSignals(nullptr);
}

// As SDL's handler does: it puts itself back when called and reports a closed window.
volatile sig_atomic_t windowLayerQuit = 0;
void WindowLayerHandler(int sig) {
    signal(sig, WindowLayerHandler);
    windowLayerQuit = 1;
}

void CatchUnderTheWindowLayer(nLuaServer2* server) {
    windowLayerQuit = 0;
    signal(SIGTERM, WindowLayerHandler);
    nLuaServer2::CatchStopSignals(server, [] { return windowLayerQuit != 0; });
    lua_register(server->GetState(), "term", [](lua_State*) {
        raise(SIGTERM);
        return 0;
    });
}

TEST_F(DataTrustTest, ASecondSigtermStopsTheShutdownsScriptsAfterTheWindowLayersHandlerRan) {
    CatchUnderTheWindowLayer(server);
    EXPECT_FALSE(Run("term() while true do end"));
    EXPECT_EQ(windowLayerQuit, 1);
    windowLayerQuit = 0;
    server->Trigger();
    EXPECT_TRUE(Run("after = 1"));
    EXPECT_FALSE(Run("term() for i = 1, 1e7 do end"));
    server->Trigger();
    nLuaServer2::CatchStopSignals(nullptr);
    signal(SIGTERM, SIG_DFL);
}

// The frame is stuck in C code that keeps running short scripts after SIGTERM; their hook
// also hears of the window layer's close. The watchdog's end is still the signal's.
TEST_F(DataTrustTest, AForcedStopAfterSigtermExitsWith128PlusItAlsoWhenTheWindowClosedToo) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CatchUnderTheWindowLayer(server);
            lua_register(server->GetState(), "stuck", [](lua_State* L) -> int {
                raise(SIGTERM);
                for (;;) {
                    (void)luaL_dostring(L, "local x = 1");
                    lua_settop(L, 0);
                }
            });
            Run("stuck()");
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "");
}

// The shutdown released the script server: nothing carries a stop to the main loop any
// more, and no watch would end a shutdown that hangs. A stop signal ends the game at once.
TEST_F(DataTrustTest, AStopSignalAfterTheScriptServerWentEndsTheGameWith128PlusIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            nLuaServer2::CatchStopSignals(server);
            server->Release();
            raise(SIGINT);
            std::exit(0);
        },
        ::testing::ExitedWithCode(128 + SIGINT), "after the script server ended");
}

}  // namespace
