#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/gfx/BmpBytes.h"
#include "tests/platform/flash/MovieFixture.h"
#include "tests/platform/system/TestRunClock.h"

namespace {

using flash::MovieModule;
using std::chrono::microseconds;

// The time of the tests' clock at each look of a run: a loop passes a few milliseconds within
// some ten thousand instructions, while a call that looks a few times takes a fraction of one.
constexpr microseconds LookTime{100};

class MovieSandboxTest : public MovieFixture {
protected:
    // A grey picture of 64 x 64 pixels.
    void AddPicture(const std::string& path) {
        BmpBytes bmp;
        bmp.width = bmp.height = 64;
        bmp.pixels.assign(64 * 64 * 3, 0x80);
        const std::vector<uint8_t> bytes = bmp.Build();
        this->files[path] = std::string(bytes.begin(), bytes.end());
    }
};

// A movie over its budget is stopped: it would otherwise take its whole budget again on
// every frame (0.2 frames a second for a menu whose draw() runs into the clock).
TEST_F(MovieSandboxTest, EndlessMoviesAreStoppedUntilLoadedAgainAndLoggedOnce) {
    const char* const movie = R"lua(
        stage(4, 4)
        function draw() rect(0, 0, 4, 4, 1, 1, 1, 1) while stuck do end end
        function on_value(name, text)
            if name == "stuck" then stuck = true end
            if text == "swallow" then
                -- a movie that catches the end of its budget still ends
                while true do pcall(function() while true do end end) end
            end
        end
    )lua";
    auto module = StartMovie(movie);
    ASSERT_NE(module, nullptr);
    ASSERT_EQ(module->SetVariable("stuck", "1"), flash::Ok);
    std::vector<uint8_t> frame(4 * 4 * 4);
    for (int i = 0; i < 3; ++i) {
        frame.assign(frame.size(), 0x77);
        EXPECT_EQ(module->Render(frame.data(), 4, 4, 4), flash::MovieFailed);
        for (uint8_t b : frame) ASSERT_EQ(b, 0);  // left transparent
    }
    EXPECT_EQ(Logged("instruction budget exhausted; the movie is stopped until it is loaded again"), 1);
    EXPECT_EQ(this->logs.size(), 1u);
    // Not called again: its variables stay out of reach as well.
    EXPECT_EQ(module->SetVariable("a", "fine"), flash::MovieFailed);
    // Loaded again, it runs.
    module = StartMovie(movie);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->Render(frame.data(), 4, 4, 4), flash::Ok);
    EXPECT_EQ(frame[0], 0xFF);
    EXPECT_EQ(module->SetVariable("a", "swallow"), flash::MovieFailed);
    EXPECT_EQ(Logged("instruction budget exhausted"), 2);
    EXPECT_EQ(module->Render(frame.data(), 4, 4, 4), flash::MovieFailed);

    AddMovie("loops.lua", "while true do end\n");
    MovieModule loader(Host());
    loader.AttachWindow(0);
    loader.Initialize(0, 1);
    EXPECT_EQ(loader.LoadMovie("loops.lua"), flash::MovieFailed);
}

// Library calls that loop in C, where no instruction is counted, are charged or refused.
TEST_F(MovieSandboxTest, LibraryLoopsAndRunawayMemoryEndInAnError) {
    auto module = StartMovie(R"lua(
        local cases = {
            rep = function() return string.rep("", 1e15) end,
            method = function() return (""):rep(1e15) end,
            move = function() table.move({}, 1, 1e15, 2) end,
            pattern = function() return string.find(string.rep("a", 3000), string.rep("a*", 12) .. "b") end,
            gsub = function() return (string.rep("a", 3000)):gsub(string.rep("a-", 10) .. "b", "") end,
            len = function() table.insert(setmetatable({}, {__len = function() return 1e15 end}), 1, 0) end,
            memory = function() local t = {} for i = 1, 1e8 do t[i] = {i} end end,
            big = function() return string.rep("x", 1e9) end,
            deep = function() local function f() return 1 + f() end return f() end,
            upper = function() local s = string.rep("x", 1e6) for i = 1, 1e9 do local u = s:upper() end end,
            concat = function() local s = string.rep("x", 1e6) for i = 1, 1e9 do local u = s .. i end end,
        }
        function on_value(name) cases[name]() end
        ok = tostring(string.find("hud^show()", "^", 1, true)) .. (("a,b"):gsub(",", ";"))
    )lua");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Get(*module, "ok"), "4a;b");  // ordinary uses still work
    const std::string text = this->files["movies/test.lua"].substr(std::string(MovieModule::Marker).size() + 1);
    // The clock is kept out of it: a slow machine's time would end a case before its budget or
    // the memory cap does.
    flash::LuaSandbox::Limits untimed;
    untimed.seconds = 600;
    for (const char* name :
         {"rep", "method", "move", "pattern", "gsub", "len", "memory", "big", "deep", "upper", "concat"}) {
        // Each case on a movie of its own: one over its budget is stopped.
        module = Start("movies/test.lua", untimed);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(module->SetVariable(name, ""), flash::MovieFailed) << name;
    }
    EXPECT_EQ(Logged("not enough memory"), 2);
    EXPECT_EQ(module->SetVariable("after", "still here"), flash::MovieFailed);  // stopped
    module = StartMovie(text);
    EXPECT_EQ(module->SetVariable("after", "still here"), flash::MovieFailed);  // no case: an error
    EXPECT_EQ(Get(*module, "after"), "still here");

    // Each comparison is one instruction over two megabytes: the clock stops it.
    AddMovie("compare.lua", R"lua(
        local s = string.rep("x", 2e6) local t = s:sub(1, -2) .. "x"
        while true do local same = s == t end
    )lua");
    flash::LuaSandbox::Limits quick;
    quick.seconds = 0.2;
    MovieModule compare(Host(), quick);
    compare.AttachWindow(0);
    compare.Initialize(0, 1);
    EXPECT_EQ(compare.LoadMovie("compare.lua"), flash::RefusedForTime);
    EXPECT_EQ(Logged("'compare.lua': time limit reached"), 1);
}

// table.sort compares in C: n log n comparisons are charged up front and each one as it
// runs, a comparison of long strings by its bytes. The clock is kept out of it.
TEST_F(MovieSandboxTest, SortsAreChargedByTheirComparisons) {
    AddMovie("sort.lua", R"lua(
        local t = {3, 1, 2}
        table.sort(t)
        up = table.concat(t, ",")
        table.sort(t, function(a, b) return a > b end)
        down = table.concat(t, ",")
        function on_value(name)
            local t = {}
            if name == "many" then
                for i = 1, 1e6 do t[i] = -i end
            else
                local s = string.rep("x", 8000)
                for i = 1, 3000 do t[i] = s .. (3000 - i) end
            end
            table.sort(t)
        end
    )lua");
    flash::LuaSandbox::Limits slow;
    slow.seconds = 600;
    for (const char* name : {"many", "long"}) {
        auto module = Start("sort.lua", slow);
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(Get(*module, "up") + " " + Get(*module, "down"), "1,2,3 3,2,1");
        EXPECT_EQ(module->SetVariable(name, ""), flash::MovieFailed) << name;
    }
    EXPECT_EQ(Logged("instruction budget exhausted"), 2);
}

// Pixels drawn, decoded and scaled in C are charged to the budget: a draw() that loops
// over pictures ends as one that loops in Lua does, instead of running for seconds.
TEST_F(MovieSandboxTest, PixelWorkInCIsChargedToTheBudget) {
    AddPicture("movies/pic.bmp");
    AddMovie("movies/pics.lua", R"lua(
        stage(64, 64)
        function draw()
            for i = 1, 1000 do image("pic.bmp", 0, 0, 64, 64) rect(0, 0, 64, 64, 1, 1, 1, 0.5) end
        end
    )lua");
    flash::LuaSandbox::Limits small;
    small.instructions = 100000;  // the loop's own instructions fit ten times over
    auto module = Start("movies/pics.lua", small);
    ASSERT_NE(module, nullptr);
    std::vector<uint8_t> frame(64 * 64 * 4);
    EXPECT_EQ(module->Render(frame.data(), 64, 64, 4), flash::MovieFailed);
    EXPECT_EQ(Logged("instruction budget exhausted; the movie is stopped"), 1);
}

TEST_F(MovieSandboxTest, MoviesReachNoFilesProcessOrOtherMovie) {
    AddMovie("a.lua", R"lua(
        present = ""
        for _, name in ipairs({"io", "os", "package", "debug", "require", "dofile", "loadfile", "load",
                               "collectgarbage", "string", "table", "math", "utf8", "pcall"}) do
            if _G[name] ~= nil then present = present .. name .. " " end
        end
        secret = "a"
        finalizer = tostring(pcall(setmetatable, {}, {__gc = function() while true do end end}))
        weak = tostring(pcall(setmetatable, {}, {__mode = "k"}))
        -- Nor later: raw through __index while the metatable is checked, or set afterwards.
        local m = setmetatable({}, {__index = function(t, k) rawset(t, k, function() finalized = true end) end})
        local sneaked = setmetatable({}, m)
        local w = setmetatable({}, {})
        getmetatable(w).__mode = "k"
        w[{}] = true
        sneaked, m = nil, nil
        collectgarbage()
        later = tostring(finalized) .. " " .. tostring(next(w) ~= nil)
        local mt = {}
        own = tostring(getmetatable(setmetatable(w, mt)) == mt) .. " " .. tostring(pcall(setmetatable, w, nil))
        pace = tostring(pcall(collectgarbage, "stop")) .. tostring(pcall(collectgarbage, "generational"))
                 .. " " .. type(collectgarbage("count"))
    )lua");
    AddMovie("b.lua", "function on_value() seen = tostring(secret) end\n");
    auto a = Start("a.lua");
    auto b = Start("b.lua");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Get(*a, "present"), "collectgarbage string table math utf8 pcall ");
    EXPECT_EQ(b->SetVariable("x", "1"), flash::Ok);
    EXPECT_EQ(Get(*b, "seen"), "nil");
    // Finalizers run with Lua's hooks off, where no budget would stop them.
    EXPECT_EQ(Get(*a, "finalizer"), "false");
    // Weak keys make the collector's atomic step quadratic, where no hook looks either.
    EXPECT_EQ(Get(*a, "weak"), "false");
    EXPECT_EQ(Get(*a, "later"), "nil true");
    EXPECT_EQ(Get(*a, "own"), "true true");
    EXPECT_EQ(Get(*a, "pace"), "falsefalse number");
}

TEST_F(MovieSandboxTest, BadDrawingCallsDrawNothingAndAreLoggedOnce) {
    this->files["menus/../secret.bmp"] = "BM";
    AddMovie("menus/m.lua", R"lua(
        stage(4, 4)
        rect(0, 0, 1, 1, 1, 1, 1, 1)                  -- not while drawing
        function draw()
            rect("left", 0, 1, 1, 1, 1, 1, 1)
            rect(0, 0, 1, 1, 1, 1, 1, 0 / 0)
            image("gone.png", 0, 0)
            image("../secret.bmp", 0, 0)
            image("/etc/passwd", 0, 0)
            image("home:x.bmp", 0, 0)
            image(nil, 0, 0)
            text(0, 0, {}, 12, 1, 1, 1, 1)
            text(0, 0, "x", 12, 1, 1, 1, 1, 7)
            text(0, 0, "x", 1e30, 1, 1, 1, 1)
            fps(-1) stage(0, 5)
            rect(2, 2, 2, 2, 0, 1, 0, 1)             -- still drawn
        end
    )lua");
    auto module = Start("menus/m.lua");
    ASSERT_NE(module, nullptr);
    std::vector<uint8_t> frame(4 * 4 * 4);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(module->Render(frame.data(), 4, 4, 4), flash::Ok);
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame[(3 * 4 + 3) * 4 + 1], 0xFF);
    EXPECT_EQ(Logged("drawing outside draw()"), 1);
    EXPECT_EQ(Logged("rect: argument 1"), 1);
    EXPECT_EQ(Logged("rect: argument 8"), 1);
    EXPECT_EQ(Logged("cannot read the image 'menus/gone.png'"), 1);
    EXPECT_EQ(Logged("'../secret.bmp' is no file name inside"), 1);
    EXPECT_EQ(Logged("'/etc/passwd' is no file name inside"), 1);
    EXPECT_EQ(Logged("'home:x.bmp' is no file name inside"), 1);
    EXPECT_EQ(Logged("image: argument 1"), 1);
    EXPECT_EQ(Logged("text: argument 3"), 1);
    EXPECT_EQ(Logged("text: argument 9"), 1);
    EXPECT_EQ(Logged("out of range"), 1);
    EXPECT_EQ(Logged("fps:"), 1);
    EXPECT_EQ(Logged("stage:"), 1);
    EXPECT_EQ(this->logs.size(), 13u);
    // Bad buffers are refused before anything is drawn.
    EXPECT_EQ(module->Render(nullptr, 4, 4, 4), flash::BadArgument);
    EXPECT_EQ(module->Render(frame.data(), 0, 4, 4), flash::BadArgument);
    EXPECT_EQ(module->Render(frame.data(), 4, 4, 3), flash::BadArgument);
    EXPECT_EQ(module->Render(frame.data(), 100000, 4, 4), flash::BadArgument);
}

TEST_F(MovieSandboxTest, AMovieLogsAtMostAFewDistinctProblems) {
    auto module = StartMovie(R"lua(
        function on_value(name, text) error({}) end
        function draw() for i = 1, 40 do print("line", i) end end
    )lua");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->SetVariable("a", "b"), flash::MovieFailed);
    EXPECT_EQ(Logged("error object is not a string"), 1);
    std::vector<uint8_t> frame(4);
    EXPECT_EQ(module->Render(frame.data(), 1, 1, 4), flash::Ok);
    EXPECT_EQ(this->logs.size(), MovieModule::MaxReports + 1);
    EXPECT_EQ(Logged("further problems are not logged"), 1);
}

// Many copies of one long string in a print, or one long error, cost no more than the
// few hundred characters of the log line they make.
TEST_F(MovieSandboxTest, APrintOrAnErrorIsKeptOnlyAsFarAsItIsLogged) {
    auto module = StartMovie(R"lua(
        local s = ("x"):rep(1 << 20)
        local t = {} for i = 1, 200 do t[i] = s end
        function draw() print(table.unpack(t)) error(s, 0) end
    )lua");
    ASSERT_NE(module, nullptr);
    std::vector<uint8_t> frame(4);
    module->Render(frame.data(), 1, 1, 4);
    ASSERT_EQ(this->logs.size(), 2u);
    for (const std::string& line : this->logs) EXPECT_LE(line.size(), 2u * MovieModule::MaxProblem) << line.size();
}

// A draw stopped at the host's time for it keeps the last picture for that frame; a movie
// whose calls never fit is stopped with one log line.
TEST_F(MovieSandboxTest, ADrawPastItsTimeKeepsTheLastPictureAndOneThatNeverFitsIsStopped) {
    bwtest::TestRunClock clock(LookTime);
    AddMovie("slow.lua", R"lua(
        slow = "no"
        function draw()
            if slow == "yes" then local x = 0 for i = 1, 3e7 do x = x + i end end
            rect(0, 0, 800, 600, 1, 0, 0, 1)
        end
    )lua");
    flash::MovieHost host = Host();
    host.time = [](flash::MovieHost::Call call, const sys::ForeignTurn&) {
        return call == flash::MovieHost::Call::Draw ? std::chrono::steady_clock::duration(std::chrono::milliseconds(10))
                                                    : std::chrono::steady_clock::duration::max();
    };
    flash::LuaSandbox::Limits limits;
    limits.instructions = 1'000'000'000;
    limits.seconds = 60;
    MovieModule module(host, limits);
    ASSERT_TRUE(module.AttachWindow(0) >= 0 && module.Initialize(0, 1) >= 0 && module.LoadMovie("slow.lua") >= 0 &&
                module.Play() >= 0);
    std::vector<uint8_t> frame(4 * 4 * 4, 0);
    ASSERT_EQ(module.Render(frame.data(), 4, 4, 4), flash::Ok);
    const std::vector<uint8_t> drawn = frame;
    ASSERT_NE(drawn, std::vector<uint8_t>(frame.size(), 0));
    const struct {
        const char* slow;
        int32_t rendered;
    } frames[] = {{"yes", flash::Waits}, {"no", flash::Ok}, {"yes", flash::Waits}};
    for (const auto& f : frames) {
        ASSERT_EQ(module.SetVariable("slow", f.slow), flash::Ok);
        EXPECT_EQ(module.Render(frame.data(), 4, 4, 4), f.rendered) << f.slow;
        if (f.rendered == flash::Waits) {
            EXPECT_EQ(frame, drawn);
        }
    }
    // The draw that fit between cleared no record: two are past their time already.
    for (int row = 3; row < MovieModule::MaxOverTime; row++) EXPECT_EQ(module.Render(frame.data(), 4, 4, 4), flash::Waits);
    EXPECT_EQ(module.Render(frame.data(), 4, 4, 4), flash::MovieFailed);
    EXPECT_EQ(Logged("calls took more than the frame's time"), 1);
    EXPECT_EQ(module.SetVariable("slow", "no"), flash::MovieFailed);  // stopped
}

// A draw that the machine holds off its core for longer than the draw's time is not charged
// that wait: on a loaded machine the menu still draws and is never stopped. A draw that waits
// as long on its own account (a print into a full pipe) holds the frame as work does: it is
// stopped, and the frame keeps its last picture. The test's clock says which wait it was.
TEST_F(MovieSandboxTest, ADrawHeldOffTheProcessorIsNotChargedTheWait) {
    AddMovie("held.lua", R"lua(
        function draw()
            print("held")
            local x = 0 for i = 1, 20000 do x = x + i end
            rect(0, 0, 800, 600, 1, 0, 0, 1)
        end
    )lua");
    for (const bool ownWait : {false, true}) {
        bwtest::TestRunClock clock;
        flash::MovieHost host = Host();
        host.log = [this, ownWait, &clock](const std::string& line) {
            this->logs.push_back(line);
            if (line.find("held") == std::string::npos) return;
            if (ownWait) clock.Work(std::chrono::milliseconds(60));
            else clock.HoldOff(std::chrono::milliseconds(60));
        };
        host.time = [](flash::MovieHost::Call, const sys::ForeignTurn&) { return std::chrono::steady_clock::duration(std::chrono::milliseconds(10)); };
        MovieModule module(host, flash::LuaSandbox::Limits{});
        ASSERT_TRUE(module.AttachWindow(0) >= 0 && module.Initialize(0, 1) >= 0 && module.LoadMovie("held.lua") >= 0 &&
                    module.Play() >= 0);
        std::vector<uint8_t> frame(4 * 4 * 4, 0);
        module.Render(frame.data(), 4, 4, 4);
        ASSERT_GE(clock.WallSoFar(), std::chrono::milliseconds(60)) << "the draw did not print";
        EXPECT_EQ(frame[2], ownWait ? 0x00 : 0xFF) << ownWait;  // red, drawn to its end
    }
}

// What the host gives movies, as the engine's frame does: a share that is open or spent, a
// time for each call, and data's memory bound over every movie that it serves.
struct FrameShare {
    bool spent = false;  // loads, draws and events wait
    std::chrono::steady_clock::duration time = std::chrono::steady_clock::duration::max();
    int64_t bound = INT64_MAX;
    int64_t kept = 0;
    int64_t most = 0;  // the most kept at once
    int calls = 0;     // calls that ran and spent

    void Serve(flash::MovieHost& host) {
        host.share = [this](flash::MovieHost::Call call, sys::ForeignTurn&) -> uint64_t {
            return this->spent && call != flash::MovieHost::Call::Read ? 0 : 1'000'000;
        };
        host.time = [this](flash::MovieHost::Call, const sys::ForeignTurn&) { return this->time; };
        host.spent = [this](uint64_t, std::chrono::steady_clock::duration, std::chrono::steady_clock::duration, sys::ForeignTurn&) { ++this->calls; };
        host.keep = [this](int64_t bytes) {
            if (bytes > 0 && this->kept + bytes > this->bound) return false;
            this->kept += bytes;
            this->most = std::max(this->most, this->kept);
            return true;
        };
    }
};

// Every kind of event a movie hears counts in the frame's share: it runs while the share is
// open, waits for a later frame once it is spent (a value's handler once a name, hearing the
// last value), and a handler that passes its time again and again stops the movie with one
// log line while its last picture stays.
TEST_F(MovieSandboxTest, EventsCountInTheSharePastItWaitAndOnesThatNeverFitStopTheMovie) {
    bwtest::TestRunClock clock(LookTime);
    AddMovie("movies/hud.lua", R"lua(
        heard = ""
        function slowly() if slow == "1" then while true do end end end
        function on_value(name, text) if name ~= "slow" then slowly() heard = heard .. name .. "=" .. text .. ";" end end
        function on_key(kind, code) slowly() heard = heard .. "key" .. code .. ";" end
        function on_mouse(kind, x, y, flags) slowly() heard = heard .. "mouse " .. kind .. ";" end
        function draw() rect(0, 0, 800, 600, 0, 1, 0, 1) end
    )lua");
    const struct {
        const char* kind;
        std::function<int32_t(MovieModule&, int)> send;
        std::vector<std::string> heard;  // after one event, two that waited, run
    } cases[] = {
        {"value", [](MovieModule& m, int i) { return m.SetVariable("hp", std::to_string(i).c_str()); },
         {"hp=0;", "hp=0;hp=2;"}},
        {"key", [](MovieModule& m, int i) { return m.KeyEvent(flash::KeyDown, 65 + i, 0); },
         {"key65;", "key65;key66;key67;"}},
        {"click", [](MovieModule& m, int) { return m.MouseEvent(flash::MouseDown, 0.5f, 0.5f, 1); },
         {"mouse down;", "mouse down;mouse down;mouse down;"}},
        {"the menu's own", [](MovieModule& m, int i) { return m.SetVariable("input", ("pick" + std::to_string(i)).c_str()); },
         {"input=pick0;", "input=pick0;input=pick2;"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        this->logs.clear();
        FrameShare share;
        flash::MovieHost host = Host();
        share.Serve(host);
        MovieModule m(host);
        ASSERT_TRUE(m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0 && m.LoadMovie("movies/hud.lua") >= 0 &&
                    m.Play() >= 0 && m.IsReady() == 1);
        std::vector<uint8_t> frame(4 * 4 * 4, 0);
        ASSERT_EQ(m.Render(frame.data(), 4, 4, 4), flash::Ok);
        const std::vector<uint8_t> picture = frame;

        const int before = share.calls;
        EXPECT_EQ(c.send(m, 0), flash::Ok);
        EXPECT_EQ(share.calls, before + 1) << "the event did not spend from the share";
        EXPECT_EQ(Get(m, "heard"), c.heard[0]);

        share.spent = true;
        EXPECT_EQ(c.send(m, 1), flash::Ok);
        EXPECT_EQ(c.send(m, 2), flash::Ok);
        EXPECT_EQ(Get(m, "heard"), c.heard[0]) << "an event ran past the share";
        EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::Waits);
        EXPECT_EQ(m.RunWaiting(), flash::Waits);
        const bool value = c.heard[1].find('=') != std::string::npos;
        EXPECT_EQ(m.EventsWaiting(), value ? 1u : 2u);

        share.spent = false;  // a later frame
        EXPECT_EQ(m.RunWaiting(), flash::Ok);
        EXPECT_EQ(m.EventsWaiting(), 0u);
        EXPECT_EQ(Get(m, "heard"), c.heard[1]);

        // Waiting never grows past a bound, whatever comes.
        share.spent = true;
        for (int i = 0; i < 1000; i++) c.send(m, i);
        EXPECT_LE(m.EventsWaiting(), MovieModule::MaxWaiting);
        share.spent = false;
        m.RunWaiting();

        share.time = std::chrono::milliseconds(2);
        ASSERT_EQ(m.SetVariable("slow", "1"), flash::Ok);
        for (int row = 0; row < MovieModule::MaxOverTime; row++) EXPECT_EQ(c.send(m, 5), flash::MovieFailed) << row;
        EXPECT_EQ(Logged("calls took more than the frame's time"), 1);
        std::fill(frame.begin(), frame.end(), 0);
        frame = picture;
        EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::MovieFailed);
        EXPECT_EQ(frame, picture) << "the stopped movie's last picture went";
        EXPECT_EQ(c.send(m, 6), flash::MovieFailed);
        EXPECT_EQ(Logged("calls took more"), 1);
    }
}

// A movie's start counts in the share like its draws: it waits for a frame with time, the
// movie answering not ready meanwhile and keeping the events that come.
TEST_F(MovieSandboxTest, AMoviesStartWaitsForTheSharesTimeAndKeepsItsEvents) {
    AddMovie("movies/menu.lua", "heard = 'start;'\nfunction on_value(name, text) heard = heard .. text .. ';' end\n");
    FrameShare share;
    share.spent = true;
    flash::MovieHost host = Host();
    share.Serve(host);
    MovieModule m(host);
    ASSERT_TRUE(m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0 && m.LoadMovie("movies/menu.lua") >= 0 && m.Play() >= 0);
    EXPECT_EQ(m.IsReady(), 0);
    EXPECT_EQ(m.SetVariable("input", "down"), flash::Ok);
    EXPECT_EQ(m.IsReady(), 0);
    share.spent = false;
    EXPECT_EQ(m.IsReady(), 1);
    EXPECT_EQ(m.RunWaiting(), flash::Ok);
    EXPECT_EQ(Get(m, "heard"), "start;down;");

    // A start that passes its time fails the load, logged, and may be tried again.
    AddMovie("movies/slow.lua", "while true do end\n");
    share.time = std::chrono::milliseconds(2);
    MovieModule slow(host);
    ASSERT_TRUE(slow.AttachWindow(0) >= 0 && slow.Initialize(0, 1) >= 0);
    EXPECT_EQ(slow.LoadMovie("movies/slow.lua"), flash::RefusedForTime);
    EXPECT_EQ(Logged("slow.lua"), 1);
}

// What a movie's text and pictures cost to make counts in its draw's share, and what they
// keep, with its Lua memory, counts in data's memory bound over all movies together: a size
// or picture past it is refused with one log line, and everything is given back at the end.
TEST_F(MovieSandboxTest, TextAndPicturesCostTheShareAndKeepWithinDatasBound) {
    AddPicture("movies/pic.bmp");
    const struct {
        const char* name;
        const char* movie;
        int64_t bound;
        uint64_t instructions;
        const char* logged;
    } cases[] = {
        {"text at a size changing each frame, past the bound",
         "n = 0 function draw() n = n + 1 text(0, 0, Letters, 400 + n, 1, 1, 1, 1) end", 1 << 20,
         10'000'000, "data keeps as much as it may"},
        {"text at a size changing each frame, past the share",
         "n = 0 function draw() n = n + 1 text(0, 0, Letters, 300 + n, 1, 1, 1, 1) end", INT64_MAX, 200'000,
         "instruction budget exhausted"},
        {"pictures at sizes changing each frame, past the bound",
         "n = 0 function draw() n = n + 1 image('pic.bmp', 0, 0, 700 + n, 700) end", 2 << 20, 10'000'000,
         "data keeps as much as it may"},
        {"pictures at sizes changing each frame, past the share",
         "n = 0 function draw() n = n + 1 for i = 1, 8 do image('pic.bmp', 0, 0, 600 + n + i, 600) end end", INT64_MAX,
         200'000, "instruction budget exhausted"},
        {"a long text held beside the movie", "t = {} function draw() t[#t + 1] = ('x'):rep(1 << 18) .. #t end", 4 << 20, 100'000'000,
         "not enough memory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        this->logs.clear();
        AddMovie("movies/cost.lua",
                 std::string("stage(800, 600)\nLetters = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'\n") +
                     c.movie);
        FrameShare share;
        share.bound = c.bound;
        flash::MovieHost host = Host();
        share.Serve(host);
        {
            flash::LuaSandbox::Limits limits;
            limits.instructions = c.instructions;
            // Two movies with one bound: the bound is over both.
            MovieModule other(host, limits), m(host, limits);
            for (MovieModule* each : {&other, &m}) {
                ASSERT_TRUE(each->AttachWindow(0) >= 0 && each->Initialize(0, 1) >= 0);
                if (each->LoadMovie("movies/cost.lua") >= 0) each->Play();
            }
            std::vector<uint8_t> frame(800 * 600 * 4);
            for (int n = 0; n < 40; n++) {
                for (MovieModule* each : {&other, &m}) each->Render(frame.data(), 800, 600, 4);
            }
            EXPECT_LE(share.most, c.bound);
            EXPECT_GE(Logged(c.logged), 1);
            EXPECT_LE(Logged(c.logged), 2) << "more than a line a movie";
        }
        EXPECT_EQ(share.kept, 0) << "the movies did not give back what they kept";
    }
}

// Work done in C in one piece (a scale, a decode, a face's opening) is priced before it runs
// from what is known up front: what does not fit what is left of the call's time or of data's
// bound is not done, with one log line, and the draw goes on; a face name is a short name.
// The test's clock stands still: only the prices spend the call's time.
TEST_F(MovieSandboxTest, WorkInOnePieceIsPricedBeforeItRunsAndFaceNamesAreShort) {
    bwtest::TestRunClock clock;
    AddPicture("movies/pic.bmp");
    BmpBytes bmp;  // its header alone: the decode fails past it unless refused before
    bmp.width = bmp.height = 3500;
    const std::vector<uint8_t> bytes = bmp.Build();
    this->files["movies/huge.bmp"] = std::string(bytes.begin(), bytes.end());
    const auto ample = std::chrono::steady_clock::duration::max();
    const struct {
        const char* name;
        const char* draw;
        std::chrono::steady_clock::duration time;
        int64_t bound;
        const char* logged;
        int64_t keptBelow;  // what the movie ever kept at once
    } cases[] = {
        {"a scale past the call's time", "image('pic.bmp', 0, 0, 2600 + n, 2600)", std::chrono::milliseconds(5), INT64_MAX,
         "scaling 'pic.bmp' takes more than is left of the frame's time", 8 << 20},
        {"a decode past the call's time", "image('huge.bmp', 0, 0)", std::chrono::milliseconds(5), INT64_MAX,
         "decoding 'huge.bmp' takes more than is left of the frame's time", 8 << 20},
        {"a decode past data's bound, asked before decoding", "image('huge.bmp', 0, 0)", ample, 16 << 20,
         "no room for the image 'huge.bmp'", 16 << 20},
        {"a face opened past the call's time", "text(0, 0, 'A', 10 + n, 1, 1, 1, 1)", flash::MovieSpend::DefaultPrices().faceTime / 2, INT64_MAX,
         "opening a text face takes more than is left", 8 << 20},
        {"a face name of blanks", "text(0, 0, 'A', 10 + n, 1, 1, 1, 1, 'DejaVu Sans' .. Blanks)", ample,
         INT64_MAX, "a face name is a short name", 8 << 20},
        {"a face name with a line break", "text(0, 0, 'A', 10 + n, 1, 1, 1, 1, 'DejaVu\\nSans')", ample, INT64_MAX,
         "a face name is a short name", 8 << 20},
        {"a face name cut by a NUL", "text(0, 0, 'A', 10 + n, 1, 1, 1, 1, 'DejaVu\\0Sans')", ample, INT64_MAX,
         "a face name is a short name", 8 << 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        this->logs.clear();
        AddMovie("movies/work.lua", std::string("stage(64, 64)\nBlanks = (' '):rep(1 << 16)\nn = 0\nfunction draw() n = n + 1 ") + c.draw + " end\n");
        FrameShare share;
        share.bound = c.bound;
        share.time = c.time;
        flash::MovieHost host = Host();
        share.Serve(host);
        {
            MovieModule m(host);
            ASSERT_TRUE(m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0 && m.LoadMovie("movies/work.lua") >= 0 &&
                        m.Play() >= 0);
            std::vector<uint8_t> frame(64 * 64 * 4);
            int drawn = 0;
            for (int n = 0; n < 5; n++) drawn += m.Render(frame.data(), 64, 64, 4) == flash::Ok ? 1 : 0;
            EXPECT_GE(drawn, 1) << "the draw did not go on without the work";
            EXPECT_EQ(Logged(c.logged), 1);
            EXPECT_LT(share.most, c.keptBelow);
        }
        EXPECT_EQ(share.kept, 0);
    }
}

// A movie whose calls pass their time again and again is stopped however many cheap draws come
// between, with one log line and its last picture kept; one that passes it now and then is not.
TEST_F(MovieSandboxTest, AMoviePastItsTimeAgainAndAgainIsStoppedWhateverComesBetween) {
    bwtest::TestRunClock clock(LookTime);
    const struct {
        int every;  // a draw of this many is cheap (1: all are heavy)
        int heavyOf;  // draws past their time in each `every`
        int frames;
        bool stopped;
    } cases[] = {
        {10, 9, 40, true},   // nine heavy draws in ten
        {2, 1, 60, true},    // every other one
        {8, 1, 200, false},  // now and then: never ten in the record
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.heavyOf) + " of " + std::to_string(c.every));
        this->logs.clear();
        AddMovie("movies/heavy.lua", "n = 0\nfunction draw() n = n + 1 rect(0, 0, 800, 600, 1, 0, 0, 1)\n"
                                     "if n > 1 and (n - 2) % " + std::to_string(c.every) + " < " + std::to_string(c.heavyOf) +
                                     " then while true do end end end\n");
        FrameShare share;
        share.time = std::chrono::milliseconds(2);
        flash::MovieHost host = Host();
        share.Serve(host);
        flash::LuaSandbox::Limits limits;
        limits.instructions = 1'000'000'000;
        MovieModule m(host, limits);
        ASSERT_TRUE(m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0 && m.LoadMovie("movies/heavy.lua") >= 0 &&
                    m.Play() >= 0);
        std::vector<uint8_t> frame(4 * 4 * 4, 0);
        ASSERT_EQ(m.Render(frame.data(), 4, 4, 4), flash::Ok);
        const std::vector<uint8_t> picture = frame;
        int failed = 0;
        for (int n = 0; n < c.frames; n++) failed += m.Render(frame.data(), 4, 4, 4) == flash::MovieFailed ? 1 : 0;
        EXPECT_EQ(failed > 0, c.stopped);
        EXPECT_EQ(Logged("calls took more than the frame's time"), c.stopped ? 1 : 0);
        EXPECT_EQ(frame, picture) << "the last picture went";
    }
}

// A value the game reads counts in data's bound while the module keeps it, and is a short text:
// one past the bound or past MaxValue is not read, with one log line, and what was kept goes back.
TEST_F(MovieSandboxTest, ValuesReadCountInDatasBoundAndAreShort) {
    const struct {
        const char* name;
        size_t size;
        int64_t room;  // in data's bound once the value is set
        int32_t read;
    } cases[] = {
        {"a value within both", 512 << 10, 64 << 20, flash::Ok},
        {"a value past data's bound", 512 << 10, 256 << 10, flash::MovieFailed},
        {"a value past the longest read", MovieModule::MaxValue + 1, 64 << 20, flash::MovieFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        this->logs.clear();
        AddMovie("movies/big.lua", "big = ''\n");
        FrameShare share;
        flash::MovieHost host = Host();
        share.Serve(host);
        {
            MovieModule m(host);
            ASSERT_TRUE(m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0 && m.LoadMovie("movies/big.lua") >= 0);
            ASSERT_EQ(m.SetVariable("big", std::string(c.size, 'x').c_str()), flash::Ok);
            const int64_t before = share.kept;
            share.bound = before + c.room;
            for (int i = 0; i < 3; i++) {
                const char* text = nullptr;
                size_t length = 0;
                EXPECT_EQ(m.GetVariable("big", &text, &length), c.read);
            }
            if (c.read == flash::Ok) EXPECT_GE(share.kept - before, int64_t(c.size));
            EXPECT_LE(share.most, share.bound);
            EXPECT_EQ(Logged("bytes or than data may keep"), c.read == flash::Ok ? 0 : 1);
        }
        EXPECT_EQ(share.kept, 0);
    }
}

}  // namespace
