// What data's text costs: the C calls of the pure libraries by the bytes they scan or make,
// and a run's time limit that fires however few instructions it runs.
#include <chrono>
#include <iterator>
#include <string>

#include "script/nDataText.h"
#include "tests/script/script_fixture.h"
#include "tests/platform/system/TestRunClock.h"

namespace {

using DataTextCostTest = nScriptFixture;

// 1.4 MB of 'a', as a save's timer made it.
const std::string Big = "local s = string.rep(string.rep('a', 1000), 1400) ";

struct Vector {
    const char* name;
    std::string text;
    const char* why;  // what ends it: its budget or its time
};

TEST_F(DataTextCostTest, EveryLibraryCallIsChargedAndTheRunEndsAtItsBounds) {
    const Vector vectors[] = {
        {"an endless loop over a gmatch iterator", Big + "local it = string.gmatch(s, '^') for i = 1, 1e7 do it() end",
         "budget"},
        {"two hundred calls of it", Big + "local it = string.gmatch(s, '^') for i = 1, 200 do it() end", "budget"},
        {"a capture that never matches", Big + "local it = s:gmatch('(b)') for i = 1, 1e7 do it() end", "budget"},
        {"a position capture", Big + "local it = s:gmatch('()b') for i = 1, 1e7 do it() end", "budget"},
        {"find without a match", Big + "for i = 1, 1e7 do s:find('b', 1, true) end", "budget"},
        {"match", Big + "for i = 1, 1e7 do s:match('a*b') end", "budget"},
        {"gsub", Big + "for i = 1, 1e7 do s:gsub('b', 'c') end", "budget"},
        {"format", Big + "for i = 1, 1e7 do string.format('%s', s) end", "budget"},
        {"concat", Big + "local t = {} for i = 1, 10 do t[i] = s end for i = 1, 1e7 do table.concat(t) end",
         "budget"},
        {"tonumber", "local s = string.rep('1', 1e6) for i = 1, 1e7 do tonumber(s) end", "budget"},
        {"rep, refused before it is made", "local s = string.rep('ab', 1e9)", "budget"},
        {"sort", "local t = {string.byte(string.rep('a', 2e5), 1, -1)} for i = 1, 3 do table.sort(t) end", "budget"},
        // Each comparison is one instruction over megabytes: the clock ends it.
        {"long comparisons", "local s = string.rep('x', 4e6) local t = s:sub(1, -2) .. 'x' "
                             "while true do local same = s == t end",
         "time"},
    };
    ASSERT_TRUE(Run("function keep(a) kept = a end dataentry('keep', {'number'})"));
    // Before the first frame a line's own budget, then within a frame's share.
    for (const bool framed : {false, true}) {
        for (const Vector& v : vectors) {
            if (framed) server->Trigger();
            else if (std::string(v.why) == "time") continue;  // its five seconds are the line's
            log.text.clear();
            const char* result = nullptr;
            EXPECT_FALSE(server->RunDataText(v.text.c_str(), result)) << v.name;
            // Within a frame the machine's speed decides which of the two comes first.
            const bool ended = framed ? LogHas("ran past its budget") || LogHas("ran past its time")
                                      : LogHas(std::string("ran past its ") + v.why);
            EXPECT_TRUE(ended) << v.name << "\n" << log.text;
            if (framed) {
                EXPECT_TRUE(server->LastRunPassedFrame()) << v.name;
                EXPECT_LE(server->FrameSpent(), nLuaServer2::FrameCeiling) << v.name;
            }
        }
    }
    // Ordinary uses fit, with the results of the libraries as before.
    const char* result = nullptr;
    server->Trigger();
    EXPECT_TRUE(server->RunDataText("local n = 0 for w in ('a,bb,ccc'):gmatch('([^,]*)') do n = n + #w end "
                                    "for p in ('abc'):gmatch('()') do n = n + p end keep(n)",
                                    result))
        << log.text;
    EXPECT_EQ(Global("kept"), "16");
    // The person's text is not charged.
    EXPECT_TRUE(Run(Big + "local it = string.gmatch(string.sub(s, 1, 20000), '^') for i = 1, 300 do it() end"))
        << log.text;
}

// A run in a frame ends at the frame's time, not its own seconds, however few
// instructions it runs.
TEST_F(DataTextCostTest, TheFramesTimeEndsARunWhoseInstructionsAreFewAndSlow) {
    server->Trigger();
    const char* result = nullptr;
    EXPECT_FALSE(server->RunDataText("local s = string.rep(string.rep('x', 1000), 2000) local t = s:sub(1, -2) .. 'x' "
                                     "for i = 1, 3000 do local same = s == t end",
                                     result));
    EXPECT_TRUE(LogHas("ran past its time of")) << log.text;
    EXPECT_TRUE(server->LastRunPassedFrame());
}

// The machine's other work may hold the game off its core in the middle of a run: the run is
// not charged that wait, so a loaded machine stops no text that a quiet one runs, and the
// frame's data share is not spent by it either. A wait of the run's own (a print into a full
// pipe) holds the frame as work does: it is charged, and the run is stopped at its time.
// The test's clock says which is which: the work itself takes none of its time.
TEST_F(DataTextCostTest, ARunHeldOffTheProcessorIsNotChargedTheWait) {
    ASSERT_TRUE(Run("function keep(a) kept = a end dataentry('keep', {'number'}) "
                    "function mark(a) marked = a end dataentry('mark', {'number'})"));
    const struct {
        const char* how;
        bool ownWait;
    } cases[] = {{"held off its core", false}, {"waiting on its own account", true}};
    bwtest::TestRunClock clock;
    log.clock = &clock;
    for (const auto& c : cases) {
        ASSERT_TRUE(Run("kept = nil marked = nil"));
        log.holdOn = "held";
        log.ownWait = c.ownWait;
        // Several times the first frame's run time (a third of its assumed frame), well within
        // the wall clock's last word on a run.
        log.hold = std::chrono::milliseconds(60);
        server->Trigger();
        const char* result = nullptr;
        EXPECT_EQ(server->RunDataText("local n = 0 for i = 1, 1000 do n = n + i end print('held') "
                                      "for i = 1, 100000 do n = n + 1 end keep(n - 99000)",
                                      result),
                  !c.ownWait)
            << c.how << log.text;
        EXPECT_EQ(Global("kept"), c.ownWait ? "nil" : "501500") << c.how;
        EXPECT_EQ(server->LastRunPassedFrame(), c.ownWait) << c.how;
        // Whether the frame has room for more: the next line runs now or waits for a later frame.
        log.holdOn.clear();
        EXPECT_TRUE(server->RunDataText("mark(1)", result)) << c.how;
        EXPECT_EQ(Global("marked"), c.ownWait ? "nil" : "1") << c.how;
    }
    log.clock = nullptr;
}

// The game's own part of a frame is its processor time beside data's: what the machine held
// data's runs or the game itself off the core (a core held off 3 parts in 4) is not booked as
// the game's, so it gives data no larger share.
TEST_F(DataTextCostTest, TimeHeldOffTheCoreLeavesDatasShareAsItWas) {
    bwtest::TestRunClock clock;
    log.clock = &clock;
    log.holdOn = "held";
    for (const auto [held, gameHeld] : {std::pair{0, 0}, {5, 0}, {100, 0}, {0, 180}, {100, 180}}) {
        log.hold = std::chrono::milliseconds(held);
        // Long enough for the frames' average to settle: the game's own 60 ms a frame.
        for (int frame = 0; frame < 80; frame++) {
            server->Trigger();
            clock.Work(std::chrono::milliseconds(60));
            clock.HoldOff(std::chrono::milliseconds(gameHeld));
            const char* result = nullptr;
            EXPECT_TRUE(server->RunDataText("print('held')", result)) << log.text;
        }
        server->Trigger();
        // A run may take twice a sixth of the game's own frame.
        sys::ForeignTurn turn;
        const std::chrono::duration<double, std::milli> runTime = server->ForeignTime(sys::ForeignCall::Draw, turn);
        EXPECT_NEAR(runTime.count(), 20.0, 0.1) << held << " ms held in data's runs, " << gameHeld << " in the game's";
    }
    log.clock = nullptr;
}

// A movie's events spend from the frame's share and take turns in it like its draws and its
// start; once the share is spent each movie's own small reserve still answers its events,
// within the reserve's time, and past it they wait for a later frame. Counted by
// instructions, so no clock decides it.
TEST(DataTextShareTest, AMoviesEventsRunInTheShareOrFromItsReserveAndElseWait) {
    using sys::ForeignCall;
    nDataText data;
    sys::ForeignTurn hud, loose, menu;
    // Before the first frame a movie's start is held to what a frame gives: a loose one's
    // compile or top level holds the loading screen no longer.
    EXPECT_EQ(data.ForeignTime(ForeignCall::Load, menu), nDataText::LoadTime);
    data.BeginFrame();
    // Inside a frame, in its turn, a start gets what it gets before the first frame.
    EXPECT_EQ(data.ForeignTime(ForeignCall::Load, menu), nDataText::LoadTime);
    EXPECT_EQ(data.ForeignShare(ForeignCall::Load, menu), UINT64_MAX);
    menu = {};
    EXPECT_EQ(data.ForeignShare(ForeignCall::Event, loose), uint64_t(nDataText::FrameBudget));
    EXPECT_FALSE(loose.inReserve);
    EXPECT_EQ(loose.lastRan, data.Frame()) << "an event in the share did not take its turn";
    EXPECT_GT(data.ForeignShare(ForeignCall::Draw, loose), 0u) << "the turn its event took kept its draw out";
    data.Spent(nDataText::FrameBudget, {});
    ASSERT_TRUE(data.Waits());

    const struct {
        ForeignCall call;
        bool runs;
    } spent[] = {{ForeignCall::Draw, false}, {ForeignCall::Load, false}, {ForeignCall::Read, true}, {ForeignCall::Event, true}};
    for (const auto& c : spent) {
        SCOPED_TRACE(int(c.call));
        EXPECT_EQ(data.ForeignShare(c.call, menu) > 0, c.runs);
    }
    EXPECT_TRUE(menu.inReserve);
    EXPECT_EQ(data.ForeignTime(ForeignCall::Event, menu), nDataText::Clock::duration(nDataText::EventReserve));
    // Each movie has a reserve of its own: one that used its up waits, the others do not.
    data.SpentReserve(nDataText::EventReserveInstructions, {}, menu);
    EXPECT_EQ(data.ForeignShare(ForeignCall::Event, menu), 0u);
    EXPECT_GT(data.ForeignShare(ForeignCall::Event, hud), 0u);
    data.SpentReserve(10, nDataText::EventReserve, hud);
    EXPECT_EQ(data.ForeignShare(ForeignCall::Event, hud), 0u);

    // A later frame: the reserves are back, and those that waited go first in the share.
    data.BeginFrame();
    EXPECT_GT(data.ForeignShare(ForeignCall::Event, menu), 0u);
    EXPECT_FALSE(menu.inReserve);
    EXPECT_GT(data.ForeignShare(ForeignCall::Event, loose), 0u);
    EXPECT_TRUE(loose.inReserve) << "the loose movie ran in the share before those that waited";
}

}  // namespace

namespace {

// Before the first frame each movie's calls but its reads take one start window together; once
// it is spent they wait for the first frame, which ends the window. By the times booked.
TEST(DataTextShareTest, BeforeTheFirstFrameAMoviesCallsShareItsStartWindow) {
    using sys::ForeignCall;
    using Duration = nDataText::Clock::duration;
    nDataText data;
    sys::ForeignTurn menu, hud;
    const Duration q = nDataText::LoadTime / 4, never = Duration::max();
    const struct {
        ForeignCall call;
        Duration given, taken;  // given zero: it waits
    } calls[] = {{ForeignCall::Load, 4 * q, q}, {ForeignCall::Event, 3 * q, q}, {ForeignCall::Read, never, {}},
                 {ForeignCall::Draw, 2 * q, 2 * q}, {ForeignCall::Event, {}, {}}, {ForeignCall::Read, never, {}}};
    for (const auto& c : calls) {
        EXPECT_EQ(data.ForeignShare(c.call, menu) > 0, c.given > Duration::zero()) << int(c.call);
        EXPECT_EQ(menu.atStart, c.call != ForeignCall::Read);
        if (c.given > Duration::zero()) EXPECT_EQ(data.ForeignTime(c.call, menu), c.given) << int(c.call);
        data.SpentAtStart(c.taken, menu);
    }
    EXPECT_EQ(data.ForeignTime(ForeignCall::Event, hud), nDataText::LoadTime) << "another movie's window was spent";
    data.BeginFrame();
    EXPECT_GT(data.ForeignShare(ForeignCall::Draw, menu), 0u);
    EXPECT_FALSE(menu.atStart);
    data.SpentAtStart(q, hud);
    EXPECT_EQ(hud.startTaken, Duration::zero()) << "a frame's call was booked in the start window";
}

// Inside a frame whose share is spent, the game's own movie that starts takes that frame as its
// start window: its calls in it take LoadTime together and do not wait; in a later frame they go
// by the share again, and a loose movie's start waits throughout. By the times booked.
TEST(DataTextShareTest, TheGamesOwnMovieTakesTheFrameItStartsInAsItsStartWindow) {
    using sys::ForeignCall;
    using Duration = nDataText::Clock::duration;
    nDataText data;
    sys::ForeignTurn own, loose;
    own.shipped = true;
    data.BeginFrame();
    data.Spent(nDataText::FrameBudget, {});
    ASSERT_TRUE(data.Waits());
    EXPECT_EQ(data.ForeignShare(ForeignCall::Draw, own), 0u) << "a draw before the start";
    const Duration q = nDataText::LoadTime / 4;
    const struct {
        ForeignCall call;
        Duration given, taken;  // given zero: it waits
    } calls[] = {{ForeignCall::Load, 4 * q, q}, {ForeignCall::Event, 3 * q, q}, {ForeignCall::Draw, 2 * q, 2 * q},
                 {ForeignCall::Draw, {}, {}}};
    for (const auto& c : calls) {
        EXPECT_EQ(data.ForeignShare(c.call, own) > 0, c.given > Duration::zero()) << int(c.call);
        EXPECT_EQ(own.atStart, c.given > Duration::zero());
        if (c.given > Duration::zero()) EXPECT_EQ(data.ForeignTime(c.call, own), c.given) << int(c.call);
        data.SpentAtStart(c.taken, own);
    }
    EXPECT_EQ(data.ForeignShare(ForeignCall::Load, loose), 0u);
    data.BeginFrame();
    data.Spent(nDataText::FrameBudget, {});
    EXPECT_EQ(data.ForeignShare(ForeignCall::Draw, own), 0u) << "the window outlived its frame";
    EXPECT_FALSE(own.atStart);
}

}  // namespace
