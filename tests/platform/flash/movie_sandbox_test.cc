#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/gfx/BmpBytes.h"
#include "tests/platform/flash/MovieFixture.h"
#include "tests/platform/system/HeldOffTheCore.h"

namespace {

using flash::MovieModule;

class MovieSandboxTest : public MovieFixture {};

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
    for (const char* name :
         {"rep", "method", "move", "pattern", "gsub", "len", "memory", "big", "deep", "upper", "concat"}) {
        // Each case on a movie of its own: one over its budget is stopped.
        module = StartMovie(text);
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
    EXPECT_EQ(compare.LoadMovie("compare.lua"), flash::MovieFailed);
    EXPECT_EQ(Logged("'compare.lua': instruction budget exhausted"), 1);
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
    BmpBytes bmp;
    bmp.width = bmp.height = 64;
    bmp.pixels.assign(64 * 64 * 3, 0x80);
    const std::vector<uint8_t> bytes = bmp.Build();
    this->files["movies/pic.bmp"] = std::string(bytes.begin(), bytes.end());
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
    for (int row = 2; row < MovieModule::MaxOverTime; row++) EXPECT_EQ(module.Render(frame.data(), 4, 4, 4), flash::Waits);
    EXPECT_EQ(module.Render(frame.data(), 4, 4, 4), flash::MovieFailed);
    EXPECT_EQ(Logged("calls in a row took more than the frame's time"), 1);
    EXPECT_EQ(module.SetVariable("slow", "no"), flash::MovieFailed);  // stopped
}

// A draw that the machine holds off its core for longer than the draw's time is not charged
// that wait: on a loaded machine the menu still draws and is never stopped. A draw that waits
// as long on its own account (a print into a full pipe) holds the frame as work does: it is
// stopped, and the frame keeps its last picture.
TEST_F(MovieSandboxTest, ADrawHeldOffTheProcessorIsNotChargedTheWait) {
    AddMovie("held.lua", R"lua(
        function draw()
            print("held")
            local x = 0 for i = 1, 20000 do x = x + i end
            rect(0, 0, 800, 600, 1, 0, 0, 1)
        end
    )lua");
    bwtest::CoreRival rival;
    for (const bool ownWait : {false, true}) {
        flash::MovieHost host = Host();
        host.log = [this, ownWait, &rival](const std::string& line) {
            this->logs.push_back(line);
            if (line.find("held") == std::string::npos) return;
            if (ownWait) std::this_thread::sleep_for(std::chrono::milliseconds(60));
            else rival.Hold(std::chrono::milliseconds(60));
        };
        host.time = [](flash::MovieHost::Call, const sys::ForeignTurn&) { return std::chrono::steady_clock::duration(std::chrono::milliseconds(10)); };
        MovieModule module(host, flash::LuaSandbox::Limits{});
        ASSERT_TRUE(module.AttachWindow(0) >= 0 && module.Initialize(0, 1) >= 0 && module.LoadMovie("held.lua") >= 0 &&
                    module.Play() >= 0);
        std::vector<uint8_t> frame(4 * 4 * 4, 0);
        const auto started = std::chrono::steady_clock::now();
        module.Render(frame.data(), 4, 4, 4);
        ASSERT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(60));
        EXPECT_EQ(frame[2], ownWait ? 0x00 : 0xFF) << ownWait;  // red, drawn to its end
    }
}

}  // namespace
