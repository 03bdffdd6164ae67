// Data's text (a movie's line, a stored text of data's): Lua's pure functions, print and
// the entries that a person's text declares, and nothing else.
#include <string>
#include <vector>

#include "kernel/nClass.h"
#include "kernel/nCmdProto.h"
#include "kernel/nTimeServer.h"
#include "tests/script/script_fixture.h"

namespace {

using DataTextTest = nScriptFixture;

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) n++;
    return n;
}

TEST_F(DataTextTest, HoldsThePureFunctionsPrintAndItsOwnGlobalsOnly) {
    const char* result = nullptr;
    const uint64_t breaches = nScriptServer::DataTextBreaches();
    nTestValue* v = NewValue("/usr/v");
    ASSERT_TRUE(Run("function keep(s) kept = s end dataentry('keep', {'string'})"));
    EXPECT_TRUE(server->RunDataText(
        "local t = {} for _, w in ipairs({'a', 'b'}) do t[#t + 1] = string.upper(w) end "
        "table.sort(t, function(x, y) return x > y end) "
        "keep(table.concat(t, ',') .. math.floor(2.5) .. type(1) .. select('#', 1, 2) .. tostring(pcall(error, 'x')) "
        ".. ('ab'):rep(2) .. tonumber('7') .. tostring(next({})))",
        result))
        << log.text;
    EXPECT_EQ(Global("kept"), "B,A2number2falseabab7nil");
    EXPECT_TRUE(server->RunDataText("print('from the data', 1)", result));
    EXPECT_TRUE(LogHas("from the data\t1"));
    // What it sets lives for its run only, and the person never sees it.
    EXPECT_TRUE(server->RunDataText("mine = 'x' keep(mine)", result));
    EXPECT_EQ(Global("kept"), "x");
    EXPECT_EQ(Global("mine"), "nil");
    log.text.clear();
    EXPECT_TRUE(server->RunDataText("keep(type(mine))", result));
    EXPECT_TRUE(LogHas("the global 'mine', neither")) << log.text;
    // The libraries are copies, shown read-only: a person's addition is not data's, and data
    // changes none of them.
    ASSERT_TRUE(Run("string.extra = function() return 'person' end"));
    EXPECT_TRUE(server->RunDataText("keep(type(string.extra) .. type(string.dump))", result));
    EXPECT_EQ(Global("kept"), "nilfunction");
    log.text.clear();
    EXPECT_FALSE(server->RunDataText("string.upper = nil", result));
    EXPECT_TRUE(LogHas("may only read")) << log.text;
    EXPECT_EQ(Eval("string.upper('a')"), "A");

    // Every other global is refused once a run with a log line, and the text goes on:
    // called, indexed or set, the refused value does nothing.
    for (const char* name : {"obj", "sel", "new", "delete", "execbuf", "exit", "load", "getmetatable", "setmetatable",
                             "rawset", "collectgarbage", "_G", "io", "os", "require", "dofile", "dataentry",
                             "__scriptserver", "format", "getclass", "seti"}) {
        log.text.clear();
        const std::string text = std::string(name) + "('/usr/v').seti(3) " + name + ".x.y = 1 " + name +
                                 "('/usr/v') keep('" + name + "')";
        EXPECT_TRUE(server->RunDataText(text.c_str(), result)) << name << "\n" << log.text;
        EXPECT_EQ(Global("kept"), name);
        EXPECT_EQ(Count(log.text, std::string("the global '") + name + "', neither"), 1u) << log.text;
    }
    // New names in a loop: each costs the run, so its budget ends the loop and the log.
    log.text.clear();
    EXPECT_FALSE(server->RunDataText("for i = 1, 1e9 do local _ = _ENV['n' .. i] end", result));
    EXPECT_TRUE(LogHas("budget")) << log.text.substr(0, 2000);
    EXPECT_LE(Count(log.text, "the global 'n"), size_t(nLuaServer2::LineBudget / nLuaServer2::InstructionsARefusal));
    ASSERT_TRUE(server->RunDataText("sel('/usr/v') seti(9)", result));
    EXPECT_EQ(v->i, 0);
    EXPECT_EQ(v->calls, 0);
    EXPECT_FALSE(server->GetQuitRequested());
    // Nothing beneath the environment was asked for.
    EXPECT_EQ(nScriptServer::DataTextBreaches(), breaches);
    // A remote line keeps the line's rules: the game's objects and the person's functions.
    EXPECT_TRUE(server->RunLine("obj('/usr/v').seti(3) keep('remote')", result)) << log.text;
    EXPECT_EQ(v->i, 3);
    EXPECT_EQ(Global("kept"), "remote");
}

TEST_F(DataTextTest, ADeclaredEntryChecksItsValuesThenRunsAsThePersonOnceAFrame) {
    const char* result = nullptr;
    ASSERT_TRUE(Run("function menuaction(e) picked = e new('nroot', '/usr/made_' .. e) "
                    "obj('/sys/servers/time').settimescale(2) end "
                    "dataentry('menuaction', {{'neu', 'weiter', 'laden', 'beenden'}})"));
    EXPECT_TRUE(server->RunDataText("menuaction('neu')", result)) << log.text;
    EXPECT_EQ(Global("picked"), "neu");
    // The person's reach: outside the level and persist trees, and the engine's commands.
    EXPECT_NE(Lookup("/usr/made_neu"), nullptr);
    EXPECT_EQ(kernel->GetTimeServer()->GetTimeScale(), 2.0f);
    kernel->GetTimeServer()->SetTimeScale(1.0f);

    // A value it does not take: one log line, nothing runs, and the text goes on.
    ASSERT_TRUE(Run("picked = nil"));
    const std::pair<const char*, const char*> refused[] = {
        {"menuaction('hack')", "'menuaction' does not take 'hack' as its value 1"},
        {"menuaction('neu', 1)", "'menuaction' takes 1 value(s), got 2"},
        {"menuaction()", "'menuaction' takes 1 value(s), got 0"},
        {"menuaction(1)", "does not take '1' as its value 1"},
        {"menuaction({})", "does not take 'a table value' as its value 1"},
        {"menuaction(string.rep('\\n', 500))", "does not take '???"},
    };
    for (const auto& [text, why] : refused) {
        log.text.clear();
        EXPECT_TRUE(server->RunDataText((std::string(text) + " print('went on')").c_str(), result)) << text;
        EXPECT_TRUE(LogHas(why) && LogHas("went on")) << text << "\n" << log.text;
        EXPECT_EQ(Global("picked"), "nil") << text;
    }
    // Once a frame, once frames began.
    server->Trigger();
    log.text.clear();
    EXPECT_TRUE(server->RunDataText("menuaction('weiter') menuaction('laden')", result));
    EXPECT_EQ(Global("picked"), "weiter");
    EXPECT_TRUE(LogHas("'menuaction' ran in this frame already")) << log.text;
    server->Trigger();
    EXPECT_TRUE(server->RunDataText("menuaction('laden')", result));
    EXPECT_EQ(Global("picked"), "laden");
    // Looked up when called: the person's function of now. Data's own of that name is its
    // own and runs as data.
    server->Trigger();
    ASSERT_TRUE(Run("function menuaction(e) picked = 'again ' .. e end"));
    EXPECT_TRUE(server->RunDataText("menuaction('beenden')", result));
    EXPECT_EQ(Global("picked"), "again beenden");
    server->Trigger();
    EXPECT_TRUE(server->RunDataText("function menuaction() new('nroot', '/usr/x') end menuaction('neu')", result));
    EXPECT_EQ(Global("picked"), "again beenden");
    EXPECT_EQ(Lookup("/usr/x"), nullptr);
    // An entry whose function fails or is missing logs it; the text goes on.
    ASSERT_TRUE(Run("function broken(n) error('broke ' .. n) end dataentry('broken', {'number'}) "
                    "dataentry('missing', {})"));
    log.text.clear();
    EXPECT_TRUE(server->RunDataText("broken(3) missing() print('went on')", result));
    EXPECT_TRUE(LogHas("broke 3") && LogHas("'missing' has no function of the game's") && LogHas("went on"))
        << log.text;
}

TEST_F(DataTextTest, OnlyAPersonsTextDeclaresEntriesAndOnlyWellFormedOnes) {
    const char* result = nullptr;
    const size_t before = server->DataEntryCount();
    ASSERT_TRUE(Run("function evil() obj('/sys/servers/time').settimescale(0) end"));
    // A remote line sees "dataentry" but may not declare.
    EXPECT_TRUE(server->RunLine("dataentry('evil', {})", result));
    EXPECT_TRUE(LogHas("'dataentry', which only the game's own scripts call")) << log.text;
    EXPECT_EQ(server->DataEntryCount(), before);
    EXPECT_TRUE(server->RunDataText("evil()", result));
    EXPECT_EQ(kernel->GetTimeServer()->GetTimeScale(), 1.0f);
    for (const char* bad : {"dataentry('print', {})", "dataentry('a b', {})", "dataentry('1a', {})",
                            "dataentry('e', 5)", "dataentry('e', {'table'})", "dataentry('e', {{}})",
                            "dataentry('e', {{{}}})", "dataentry(3, {})"}) {
        log.text.clear();
        EXPECT_TRUE(Run(bad)) << bad;
        EXPECT_TRUE(LogHas("'dataentry'")) << bad << "\n" << log.text;
        EXPECT_EQ(server->DataEntryCount(), before) << bad;
    }
    // The declaration holds its values as they were: a later change to the table is not it.
    ASSERT_TRUE(Run("function pick(v) picked = v end local t = {'a'} dataentry('pick', {t}) t[1] = 'b'"));
    EXPECT_TRUE(server->RunDataText("pick('b') pick('a')", result));
    EXPECT_EQ(Global("picked"), "a");
    EXPECT_EQ(server->DataEntryCount(), before + 1);
}

// Beneath the environment, the engine's checks refuse whatever data's text would ask for
// while no declared entry runs for it, even a harmless read, and count each as a breach.
TEST_F(DataTextTest, TheChecksBeneathRefuseEverythingWhileDataTextRuns) {
    nRoot* persist = kernel->New("nroot", "/usr/persist");
    nRoot* time = Lookup("/sys/servers/time");
    nCmdProto* read = time->GetClass()->FindCmdByName("getclass");
    ASSERT_TRUE(read && read->IsDataSafe());
    const uint64_t breaches = nScriptServer::DataTextBreaches();
    {
        nScriptServer::OriginScope origin(nScriptServer::Origin::Data);
        EXPECT_TRUE(nScriptServer::MayCall(time, read));
        nScriptServer::DataTextScope text(true);
        EXPECT_FALSE(nScriptServer::MayCall(time, read));
        EXPECT_FALSE(nScriptServer::MayMake(kernel->FindClass("nroot"), persist, "new"));
        EXPECT_FALSE(nScriptServer::MayPlace(persist, "new"));
        EXPECT_FALSE(nScriptServer::MayRelease(persist, nullptr, "delete"));
        EXPECT_FALSE(nScriptServer::PersonOnly("the focus"));
        {
            // A declared entry's run is the person's.
            nScriptServer::OriginScope person(nScriptServer::Origin::Person);
            nScriptServer::DataTextScope entry(false);
            EXPECT_TRUE(nScriptServer::MayMake(kernel->FindClass("nroot"), persist, "new"));
        }
    }
    EXPECT_EQ(nScriptServer::DataTextBreaches(), breaches + 5);
    EXPECT_TRUE(LogHas("'getclass' of '/sys/servers/time', beyond the game's declared entries")) << log.text;
    EXPECT_FALSE(nScriptServer::DataTextRunning());
}

// What data's text prints (a movie's line) is a log line of data's: it does not begin with
// the text data chose, which could pass for a line of the engine's.
TEST_F(DataTextTest, APrintOfDataDoesNotStartALogLineWithDataText) {
    const char* result = nullptr;
    for (const char* text : {"print('AppMain: shutdown')", "print('AppMain: shutdown', 1)", "pcall(print, 'AppMain: shutdown')"}) {
        log.text.clear();
        EXPECT_TRUE(server->RunDataText(text, result)) << text;
        EXPECT_TRUE(LogHas("AppMain: shutdown")) << log.text;
        EXPECT_EQ(("\n" + log.text).find("\nAppMain: shutdown"), std::string::npos) << log.text;
    }
}

}  // namespace
