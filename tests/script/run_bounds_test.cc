// What a data file or a line may cost: library work in C, time, depth, objects and the
// bytes it hands to commands, each bounded with a logged refusal.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "tests/script/script_fixture.h"

namespace {

class RunBoundsTest : public nScriptFixture {
protected:
    bool RunLine(const std::string& text) {
        const char* result = nullptr;
        return server->RunLine(text.c_str(), result);
    }
    // The refusal was logged with `why`, and the state still runs text as before.
    void ExpectRefusedAndIntact(const std::string& text, const std::string& why) {
        EXPECT_TRUE(LogHas(why)) << text << "\n" << log.text;
        EXPECT_EQ(kernel->GetCwd(), kernel->GetRoot()) << text;
        EXPECT_EQ(Lookup("/sys/servers/script"), server);
        EXPECT_EQ(Eval("('a,b'):gsub(',', ';')"), "a;b") << text;
        log.text.clear();
    }
};

TEST_F(RunBoundsTest, LibraryWorkInCCountsAgainstTheBudgetOfDataAndLinesOnly) {
    // Twelve quantifiers over forty characters backtrack for ages inside one C call.
    const std::string pattern = "('a'):rep(40):find(('a*'):rep(12) .. 'b')";
    for (const std::string& text : std::vector<std::string>{
             pattern, "(''):rep(1e15)", "local s = ('a'):rep(40) s:gsub('a-a-a-a-a-a-a-a-b', '')"}) {
        EXPECT_FALSE(LoadData(text)) << text;
        EXPECT_TRUE(LogHas("data.n' refused: ")) << text;
        ExpectRefusedAndIntact(text, "ran past its budget of 100000000 instructions");
    }
    const std::pair<std::string, std::string> lines[] = {
        {"string.find(string.rep('a', 40), string.rep('a*', 12) .. 'b')", "budget of 10000000"},
        {pattern, "budget of 10000000"},
        {"local s = string.rep('x', 1e6) for i = 1, 1e6 do s:upper() end", "budget of 10000000"},
        // Each comparison of two long strings is one instruction: the clock ends it.
        {"local s = string.rep('x', 4e6) local t = s:sub(1, -2) .. 'x' while true do local same = s == t end",
         "ran past its time of 5 s"},
    };
    for (const auto& [text, why] : lines) {
        EXPECT_FALSE(RunLine(text)) << text;
        ExpectRefusedAndIntact(text, why);
    }
    // Ordinary uses stay free, and a trusted run is charged nothing.
    ASSERT_TRUE(Run("function keep(a, b) r, m = a, b end"));
    ASSERT_TRUE(RunLine("keep((('a,b'):gsub(',', ';')), string.match('FB_item', '^FB_(%l[%w_]*)$'))")) << log.text;
    EXPECT_EQ(Global("r") + Global("m"), "a;bitem");
    const std::string costly = "string.find(string.rep('a', 100), string.rep('a*', 3) .. 'b')";
    EXPECT_FALSE(RunLine(costly));
    EXPECT_TRUE(Run("found = " + costly + " or 'none'")) << log.text;
    EXPECT_EQ(Global("found"), "none");
}

TEST_F(RunBoundsTest, DeepChainsObjectsAndTextForCommandsAreBounded) {
    // A chain thousands deep cost the square of its depth in walks to the root.
    EXPECT_FALSE(LoadData("for i = 1, 5000 do new('nroot', 'n') sel('n') end"));
    std::string path = "/load";
    for (int i = 0; i < nLuaServer2::MaxDataDepth; i++) path += "/n";
    EXPECT_NE(Lookup(path.c_str()), nullptr);
    EXPECT_EQ(Lookup((path + "/n").c_str()), nullptr);
    ExpectRefusedAndIntact("deep", "making an object more than 256 levels deep");

    EXPECT_FALSE(LoadData("for i = 1, 2e5 do new('nroot', 'o' .. i) end"));
    ExpectRefusedAndIntact("objects", "would leave more than 30000 objects that data made");

    // A store keeps what it is handed, which the interpreter does not count.
    EXPECT_FALSE(LoadData("new('ntestvalue', 'v') sel('v') local s = ('x'):rep(1e6) for i = 1, 1e4 do sets(s) end"));
    EXPECT_LT(static_cast<nTestValue*>(Lookup("/load/v"))->calls, 100);
    ExpectRefusedAndIntact("data bytes", "handed commands more than 67108864 bytes");

    nTestValue* v = NewValue("/v");
    const std::string line = "local s = string.rep('x', 1e6) for i = 1, 100 do obj('/v').sets(s) end";
    EXPECT_FALSE(RunLine(line));
    const int calls = v->calls;
    EXPECT_LT(calls, 100);
    ExpectRefusedAndIntact("line bytes", "handed commands more than 67108864 bytes");
    EXPECT_TRUE(Run(line)) << log.text;
    EXPECT_EQ(v->calls, calls + 100);
}

// What data's text makes is charged by its memory, and what all its runs made and that
// still lives is bounded: a line that would pass either is refused and what it made is
// dropped, so a line or a timer every frame cannot grow the game without end.
TEST_F(RunBoundsTest, WhatDataMakesIsChargedByItsMemoryAndBoundedAcrossRuns) {
    auto children = [&](const char* path) {
        int n = 0;
        for (nRoot* c = Lookup(path)->GetHead(); c; c = c->GetSucc()) n++;
        return n;
    };
    // Forty objects named by a megabyte each: the names handed over and the objects' memory
    // together pass a run's 64 MB.
    EXPECT_FALSE(LoadData("local s = ('x'):rep(1e6) for i = 1, 40 do new('nroot', 'd' .. i) sel('d' .. i) "
                          "new('nroot', s) up() end"));
    ExpectRefusedAndIntact("memory", "took more than 67108864 bytes");
    EXPECT_EQ(children("/load"), 0);
    kernel->New("nroot", "/usr/persist/made");
    // Each line keeps 12,000 objects; the third would pass what data may keep.
    for (int run = 0; run < 3; run++) {
        const std::string line = "for i = 1, 12000 do new('nroot', '/usr/persist/made/r" + std::to_string(run) + "_' .. i) end";
        EXPECT_EQ(RunLine(line), run < 2) << run;
    }
    ExpectRefusedAndIntact("kept", "would leave more than 30000 objects that data made");
    EXPECT_EQ(children("/usr/persist/made"), 24000);
    EXPECT_EQ(Lookup("/usr/persist/made/r2_1"), nullptr);
    // What data made and the game let go no longer counts.
    ASSERT_TRUE(Run("delete('/usr/persist/made/r0_1') for i = 2, 12000 do delete('/usr/persist/made/r0_' .. i) end"));
    EXPECT_TRUE(RunLine("for i = 1, 12000 do new('nroot', '/usr/persist/made/r3_' .. i) end")) << log.text;
    // A person's text is not charged.
    EXPECT_TRUE(Run("for i = 1, 12000 do new('nroot', '/usr/persist/made/p' .. i) end"));
}

}  // namespace

// Data's lines share one budget a frame: once it is spent the next line waits for a later
// frame, in the order it came, and a line that would take more than a whole share alone
// is stopped. Before the first frame a line keeps its own budget.
TEST_F(RunBoundsTest, LinesShareOneBudgetAFrameAndWhatDoesNotFitWaits) {
    nTestValue* v = NewValue("/v");
    // Well within a frame's time for data, also on a busy machine.
    const std::string busy = "for i = 1, 100000 do end obj('/v').seti(";
    EXPECT_TRUE(RunLine("for i = 1, 3000000 do end")) << log.text;
    server->Trigger();
    for (int k = 1; k <= 12; k++) EXPECT_TRUE(RunLine(busy + std::to_string(k) + ")")) << log.text;
    EXPECT_LE(server->FrameSpent(), nLuaServer2::FrameCeiling);
    EXPECT_LT(v->calls, 12);
    std::vector<int> order;
    for (int frame = 0; frame < 16 && v->calls < 12; frame++) {
        const int before = v->calls;
        server->Trigger();
        EXPECT_LE(server->FrameSpent(), nLuaServer2::FrameCeiling) << frame;
        if (v->calls > before) order.push_back(v->i);
    }
    EXPECT_EQ(v->calls, 12) << log.text;
    EXPECT_EQ(v->i, 12);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    // Alone past a whole share: stopped, and the frame stays within its ceiling.
    server->Trigger();
    EXPECT_FALSE(RunLine("while true do end"));
    EXPECT_TRUE(server->LastRunPassedFrame());
    EXPECT_LE(server->FrameSpent(), nLuaServer2::FrameCeiling);
    // Its share's instructions or its share of the frame's time, whichever comes first.
    ExpectRefusedAndIntact("share", "ran past its ");
    // Thousands of short lines cost a share too.
    server->Trigger();
    for (int k = 0; k < 3000; k++) RunLine("obj('/v').seti(0)");
    EXPECT_LT(v->calls, 12 + 3000);
    EXPECT_TRUE(server->DataWaits());
}
