// What a movie may spend (MovieSpend): its text's compile, a failed allocation, the stop
// record, values that come before its top level, and the shipped movies at ten times every
// price. Time rules are decided by what the test sets: prices, the host's times, the record.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "platform/luaguard/LuaGuards.h"
#include "tests/gfx/BmpBytes.h"
#include "tests/platform/flash/MovieFixture.h"
#include "tests/platform/system/TestRunClock.h"

namespace {

using flash::MovieModule;
using flash::MovieSpend;
using Duration = std::chrono::steady_clock::duration;
using std::chrono::microseconds;
using std::chrono::milliseconds;

class MovieSpendTest : public MovieFixture {
protected:
    // A host whose share is open or spent and whose calls take `time`; it counts what they spent.
    struct Share {
        bool spent = false;
        Duration time = Duration::max();
        uint64_t instructions = 0;
        Duration wall{};
    };
    flash::MovieHost Serve(Share& share) {
        flash::MovieHost host = Host();
        host.share = [&share](flash::MovieHost::Call call, sys::ForeignTurn&) -> uint64_t {
            return share.spent && call != flash::MovieHost::Call::Read ? 0 : 1'000'000;
        };
        host.time = [&share](flash::MovieHost::Call, const sys::ForeignTurn&) { return share.time; };
        host.spent = [&share](uint64_t n, Duration, Duration wall, sys::ForeignTurn&) {
            share.instructions += n;
            share.wall += wall;
        };
        // The game's own movies: those of `shipped`, and the copies of `own` past loose files.
        host.shipped = [this](const std::string& path) { return this->shipped.count(path) > 0; };
        host.readShipped = [this](const std::string& path, std::string& bytes) {
            const auto found = this->own.find(path);
            if (found == this->own.end()) return false;
            bytes = found->second;
            return true;
        };
        return host;
    }
    static bool Begin(MovieModule& m, const char* path) {
        return m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0 && m.LoadMovie(path) >= 0 && m.Play() >= 0;
    }
    // `n` lines, each `line` with its number and `after`.
    static std::string Repeat(const std::string& line, int n, const std::string& after = "") {
        std::string text;
        for (int i = 0; i < n; i++) text += line + std::to_string(i) + after + "\n";
        return text;
    }
    std::set<std::string> shipped;
    std::map<std::string, std::string> own;
};

// Compiling is priced before it runs, by the text's bytes and the labels and jumps the parser
// compares: a text that no frame compiles is refused with one log line before the parser sees
// it; one that needs more time than is left waits for a frame that has it; what it spent counts.
TEST_F(MovieSpendTest, CompilingIsPricedAndTextThatNoFrameCompilesIsRefused) {
    const struct {
        const char* name;
        std::string text;
        Duration first;  // the time the first frame gives the load
        int ready;       // after the first frame
    } cases[] = {
        {"labels compared with every label before them", "local function f()\n" + Repeat("::l", 2500, ":: x = 1") + "end\n",
         milliseconds(50), -1},
        {"a long text", Repeat("x = ", 20'000), milliseconds(50), -1},
        {"labels and jumps only in strings and comments", Repeat("s = '::a:: goto b' -- ::c:: break --[[::d::]] x = ", 200),
         milliseconds(50), 1},
        {"a text that needs more than the time left", Repeat("x = ", 200), microseconds(20), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        this->logs.clear();
        AddMovie("movies/big.lua", c.text);
        Share share;
        share.time = c.first;
        MovieModule m(Serve(share));
        const bool loaded = Begin(m, "movies/big.lua");
        EXPECT_EQ(loaded, c.ready >= 0);
        EXPECT_EQ(Logged("takes more to compile than a frame gives data"), c.ready < 0 ? 1 : 0);
        if (c.ready < 0) {
            EXPECT_EQ(share.instructions, 0u) << "the parser saw a refused text";
            continue;
        }
        EXPECT_EQ(m.IsReady(), c.ready);
        share.time = milliseconds(50);
        EXPECT_EQ(m.IsReady(), 1);
        EXPECT_GE(share.instructions, c.text.size()) << "compiling spent nothing of the share";
        EXPECT_TRUE(this->logs.empty()) << this->logs.front();
    }
    EXPECT_EQ(luaguard::LuaGuards::MeasureCompile(cases[2].text.data(), cases[2].text.size()).compares, 0u);
}

// A movie's size is priced before its file is read: one that no frame compiles is refused by
// the size the host tells, unread, and when it tells none by the bytes read, unscanned.
TEST_F(MovieSpendTest, AMoviesSizeIsPricedBeforeItIsRead) {
    const std::string small = Repeat("x = ", 20), big = Repeat("x = ", 20'000);
    const struct {
        std::string text;
        int64_t told;  // the size the host tells, -1 none
        int reads;
    } cases[] = {{small, int64_t(63) << 20, 0}, {big, -1, 1}, {small, int64_t(small.size()), 1}, {small, -1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.text.size()) + " bytes, told " + std::to_string(c.told));
        this->logs.clear();
        this->reads.clear();
        AddMovie("movies/sized.lua", c.text);
        flash::MovieHost host = Host();
        host.fileSize = [&c](const std::string&, uint64_t& size) { return size = uint64_t(c.told), c.told >= 0; };
        MovieModule m(host);
        const bool loads = c.text == small && c.told < (1 << 20);
        EXPECT_EQ(Begin(m, "movies/sized.lua"), loads);
        EXPECT_EQ(this->reads["movies/sized.lua"], c.reads);
        EXPECT_EQ(Logged("takes more to compile than a frame gives data"), loads ? 0 : 1);
        EXPECT_EQ(m.Spend().TopTime() > Duration::zero(), loads) << "a refused text was scanned";
    }
}

// A movie that fills its memory and then loops on errors that cannot be allocated made Lua
// collect in full at each one, out of the hook's sight, for seconds: the first failed
// allocation ends the call instead, whatever pcall runs it, and the movie is stopped.
TEST_F(MovieSpendTest, AFailedAllocationEndsTheCallWhateverPcallTheMovieRuns) {
    AddMovie("movies/full.lua", R"lua(
        t = {}
        function draw()
            local s = ('x'):rep(4000)
            pcall(function() for i = 1, 1e9 do t[i] = s .. i end end)
            while true do pcall(math.floor) end
        end
    )lua");
    flash::LuaSandbox::Limits limits;
    limits.memoryBytes = 4 << 20;
    limits.instructions = 400'000;
    Share share;
    MovieModule m(Serve(share), limits);
    ASSERT_TRUE(Begin(m, "movies/full.lua"));
    const uint64_t loaded = share.instructions;
    std::vector<uint8_t> frame(4 * 4 * 4);
    EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::MovieFailed);
    EXPECT_LT(share.instructions - loaded, limits.instructions / 2) << "the loop ran on to its budget";
    EXPECT_EQ(Logged("not enough memory; the movie is stopped"), 1);
    EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::MovieFailed);
}

// The record counts calls past their time however they are spaced: one call that took many
// times its time counts as many, and a draw that fits forgives only part of one.
TEST_F(MovieSpendTest, CallsPastTheirTimeStopAMovieHoweverTheyAreSpaced) {
    const struct {
        int every;    // one call of this many is past its time
        int times;    // how many times its time it took
        bool stopped; // within 2,000 calls
    } cases[] = {
        {40, 20, true},  // spaced out, but each costs the player many frames
        {3, 1, true},
        {8, 1, false},   // now and then, each at its time
        {40, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.every) + " x" + std::to_string(c.times));
        flash::MovieHost host;
        MovieSpend spend(host);
        bool stopped = false;
        for (int n = 1; n <= 2000 && !stopped; n++) {
            stopped = n % c.every == 0 ? spend.Record(MovieSpend::Call::Draw, true, c.times * milliseconds(10), milliseconds(10))
                                       : spend.Record(MovieSpend::Call::Draw, false);
        }
        EXPECT_EQ(stopped, c.stopped);
    }
}

// A value the game sets before the movie's top level ran waits for it, and a value never
// replaces the movie's code: one that shares a name with a function the movie holds (the
// module's text, its own draw) is kept beside it, heard by on_value and read back by the game.
TEST_F(MovieSpendTest, ValuesSetBeforeTheTopLevelWaitAndNeverReplaceTheMoviesCode) {
    const char* src = std::getenv("BW_SOURCE_DIR");
    std::ifstream in(std::string(src ? src : ".") + "/data/flash/statusbar.movie", std::ios::binary);
    std::stringstream shipped;
    shipped << in.rdbuf();
    ASSERT_FALSE(shipped.str().empty());
    this->files["flash/statusbar.movie"] = shipped.str();
    AddMovie("movies/own.lua", "local write = text\nheard = ''\nlevel = 'start'\n"
                               "function on_value(name, value) heard = heard .. name .. '=' .. value .. ';' end\n"
                               "function draw() write(0, 0, level, 10, 1, 1, 1, 1) end\n");
    const struct {
        const char* path;
        std::vector<std::pair<const char*, const char*>> set, read;
    } cases[] = {
        {"movies/own.lua", {{"text", "hallo"}, {"level", "2"}, {"draw", "x"}, {"level", "3"}},
         {{"heard", "text=hallo;level=3;draw=x;"}, {"text", "hallo"}, {"level", "3"}, {"draw", "x"}}},
        {"flash/statusbar.movie", {{"text", "Spiel geladen."}}, {{"text", "Spiel geladen."}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        this->logs.clear();
        Share share;
        share.spent = true;
        MovieModule m(Serve(share));
        ASSERT_TRUE(Begin(m, c.path));
        for (const auto& [name, value] : c.set) EXPECT_EQ(m.SetVariable(name, value), flash::Ok) << name;
        share.spent = false;
        EXPECT_EQ(m.IsReady(), 1);
        EXPECT_EQ(m.RunWaiting(), flash::Ok);
        std::vector<uint8_t> frame(64 * 64 * 4);
        EXPECT_EQ(m.Render(frame.data(), 64, 64, 4), flash::Ok);
        EXPECT_NE(frame, std::vector<uint8_t>(frame.size(), 0)) << "nothing drawn";
        for (const auto& [name, value] : c.read) EXPECT_EQ(Get(m, name), value) << name;
        EXPECT_TRUE(this->logs.empty()) << this->logs.front();
    }
}

// The game's prices are a busy machine's times; a slower machine is a dearer one. At ten times
// every price the shipped movies, with the game's values set before they start, are neither
// refused nor stopped, and no piece of their work is priced past the time a call gets in the
// frame the game assumes (a third of 33 ms).
TEST_F(MovieSpendTest, TheShippedMoviesKeepWithinTheirShareAtTenTimesEveryPrice) {
    const MovieSpend::Prices prices = MovieSpend::DefaultPrices();
    MovieSpend::Prices dear = prices;
    dear.instructionsAFace *= 10;
    dear.faceTime *= 10;
    dear.scaleTimeAPixel *= 10;
    dear.decodeTimeAPixel *= 10;
    dear.compileTimeAByte *= 10;
    dear.compileTimeACompare *= 10;
    MovieSpend::SetDefaultPrices(dear);
    BmpBytes bmp;
    bmp.width = bmp.height = 64;
    bmp.pixels.assign(64 * 64 * 3, 0x80);
    const std::vector<uint8_t> picture = bmp.Build();
    const char* src = std::getenv("BW_SOURCE_DIR");
    const std::pair<const char*, const char*> values[] = {
        {"text", "Spiel geladen."}, {"value", "50"}, {"bild", "taucher1_G_1"}, {"sauerstoff", "70"},
        {"gesundheit", "40"}, {"_root.item_typ", "lampe"}, {"invtyp_list_string", "lampe,messer,kamera"},
        {"invname_list_string", "Lampe,Messer,Kamera"}, {"running", "1"}, {"loadable", "1"}, {"input", "down"},
    };
    for (const char* name : {"statusbar", "energy", "hitpoints", "inventory", "inventorybar", "geraet", "taucher",
                             "maennel", "mainmenu"}) {
        SCOPED_TRACE(name);
        this->logs.clear();
        const std::string file = std::string("flash/") + name + ".movie";
        std::ifstream in(std::string(src ? src : ".") + "/data/" + file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        ASSERT_FALSE(text.str().empty());
        this->files[file] = text.str();
        for (const char* pic : {"pics/guide.png", "pics/taucher_1.png", "pics/maennel_1.png", "pics/geraet_1.png"}) {
            this->files[std::string("flash/") + pic] = std::string(picture.begin(), picture.end());
        }
        Share share;
        share.spent = true;
        MovieModule m(Serve(share));
        ASSERT_TRUE(Begin(m, file.c_str()));
        for (const auto& [value, set] : values) m.SetVariable(value, set);
        share.spent = false;
        EXPECT_EQ(m.IsReady(), 1);
        // At twice their size, a little larger each frame: pictures and faces are made anew.
        for (int n = 0; n < 5; n++) {
            const int w = int(2 * m.GetStageWidth()) + n, h = int(2 * m.GetStageHeight()) + n;
            std::vector<uint8_t> frame(size_t(w) * size_t(h) * 4);
            EXPECT_EQ(m.Render(frame.data(), w, h, 4), flash::Ok) << n;
        }
        EXPECT_LE(m.Spend().MostPriced(), milliseconds(33) / 3);
        EXPECT_LE(m.Spend().TopTime(), MovieSpend::LongestCompile);
        EXPECT_TRUE(this->logs.empty()) << this->logs.front();
    }
    MovieSpend::SetDefaultPrices(prices);
}

// A start stopped at its time, by a short share or by a machine that held it off its core: the
// game's own movie waits for a later frame, unlogged, and its draws are never stopped for
// time; a loose one is refused with one line that names the limit, and where the game has its
// own copy, that copy plays in its place. Decided by the test's clock: a look every 10 us.
TEST_F(MovieSpendTest, TheGamesOwnMovieWaitsForTimeAndARefusedLooseOneLeavesTheGamesOwn) {
    bwtest::TestRunClock clock(microseconds(10));
    const std::string slow = "for i = 1, 100000 do end x = 'loose' function draw() while true do end end\n";
    const struct {
        const char* name;
        bool shipped, ownCopy;
        std::string text;
        Duration time, held;    // the host's time for the first start; held off at each look then
        int32_t loaded;         // LoadMovie's answer
        const char* logged;     // the one line, or none
        const char* x;          // once it plays
    } cases[] = {
        {"own, short of time", true, false, slow, milliseconds(1), {}, flash::Ok, nullptr, "loose"},
        {"own, held off its core", true, false, slow, milliseconds(50), milliseconds(10), flash::Ok, nullptr, "loose"},
        {"loose, short of time", false, false, slow, milliseconds(1), {}, flash::RefusedForTime,
         "time limit reached: not loaded; it is tried again at its next load", nullptr},
        {"loose, short of time, with own", false, true, slow, milliseconds(1), {}, flash::Ok,
         "time limit reached; the game's own copy of the movie plays in its place", "own"},
        {"loose, out of instructions, with own", false, true, "while true do end", milliseconds(500), {}, flash::Ok,
         "instruction budget exhausted; the game's own copy", "own"},
        {"loose, out of memory, with own", false, true, "t = {} for i = 1, 1e6 do t[i] = {} end", milliseconds(500), {},
         flash::Ok, "not enough memory; the game's own copy", "own"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        this->logs.clear();
        this->shipped = c.shipped ? std::set<std::string>{"menu.movie"} : std::set<std::string>{};
        this->own.clear();
        if (c.ownCopy) this->own["menu.movie"] = std::string(MovieModule::Marker) + "\nx = 'own'\n";
        AddMovie("menu.movie", c.text);
        Share share;
        share.time = c.time;
        clock.HoldOffEachLook(c.held);
        flash::LuaSandbox::Limits limits;
        limits.memoryBytes = 2 << 20;
        MovieModule m(Serve(share), limits);
        ASSERT_TRUE(m.AttachWindow(0) >= 0 && m.Initialize(0, 1) >= 0);
        EXPECT_EQ(m.LoadMovie("menu.movie"), c.loaded);
        if (c.x != nullptr) {
            ASSERT_GE(m.Play(), 0);
            EXPECT_EQ(m.IsReady(), c.shipped ? 0 : 1) << "the game's own start did not wait";
            clock.HoldOffEachLook({});
            share.time = milliseconds(50);
            EXPECT_EQ(m.IsReady(), 1);
            EXPECT_EQ(Get(m, "x"), c.x);
            EXPECT_GE(share.wall, c.held) << "the held-off time was not told as the call's wall time";
            std::vector<uint8_t> frame(4 * 4 * 4);
            share.time = milliseconds(1);
            for (int n = 0; c.shipped && n < 3 * MovieSpend::MaxOverTime; n++) EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::Waits);
        }
        EXPECT_EQ(Logged(c.logged ? c.logged : "movie"), c.logged ? 1 : 0);
        EXPECT_EQ(this->logs.size(), c.logged ? 1u : 0u) << this->logs.back();
    }
}

// The game's own movie goes on past every limit that data's files or the machine's speed reach:
// a draw held off its core past its time, a draw whose time ran out before a picture or face was
// priced (it ends as out of time, unlogged, not as out of instructions), loose pictures of the
// limits' size in its heads-up display (not drawn, a line each). A loose display stopped by them
// leaves the game's own copy, which hears the values the game set. No frame fails.
TEST_F(MovieSpendTest, TheGamesOwnMovieGoesOnPastEveryLimitItsCallsMeet) {
    bwtest::TestRunClock clock(microseconds(10));
    BmpBytes bmp;  // the header of 4096 x 4000 alone: decoded, it fails as no picture
    bmp.width = 4096, bmp.height = 4000;
    const std::vector<uint8_t> header = bmp.Build();
    bmp.width = bmp.height = 8, bmp.pixels.assign(8 * 8 * 3, 0x80);
    const std::vector<uint8_t> small = bmp.Build();
    this->files["flash/small.png"] = std::string(small.begin(), small.end());
    for (const char* pic : {"flash/pics/taucher_1.png", "flash/pics/guide.png"}) this->files[pic] = std::string(header.begin(), header.end());
    std::ifstream in(std::string(std::getenv("BW_SOURCE_DIR") ? std::getenv("BW_SOURCE_DIR") : ".") + "/data/flash/taucher.movie");
    const std::string own((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto drawing = [](const std::string& draw) {
        return std::string(MovieModule::Marker) + "\nstage(30, 52) n = 0\nfunction draw() n = n + 1 " + draw + " rect(0, 39, 30, 6, 1, 1, 1, 1) end\n";
    };
    const char* pictures = "decoding 'pics/taucher_1.png' takes more than a call|decoding 'pics/guide.png' takes more than a call";
    const struct {
        std::string text;
        bool shipped;
        Duration time, held;  // the draws' time after the first frame, and held off at each look
        std::string logged;   // lines, '|' between
    } cases[] = {
        {drawing("for i = 1, 40 do rect(0, 0, 4, 4, 1, 0, 0, 1) end"), true, milliseconds(2), milliseconds(10), ""},
        {drawing("image('small.png', 0, 0, 8 + n % 20, 8)"), true, microseconds(1), {}, ""},
        {drawing("text(0, 0, 'A', 12 + n % 20, 1, 1, 1, 1)"), true, microseconds(1), {}, ""},
        {own, true, Duration::max(), {}, pictures},
        {own, false, Duration::max(), {}, std::string("instruction budget exhausted; the game's own copy of the movie plays|") + pictures},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(c.text.find('\n') + 1, 100));
        this->logs.clear();
        this->files["flash/hud.movie"] = c.text;
        this->shipped = c.shipped ? std::set<std::string>{"flash/hud.movie"} : std::set<std::string>{};
        this->own = {{"flash/hud.movie", own}};
        this->reads.clear();
        Share share;
        MovieModule m(Serve(share));
        ASSERT_TRUE(Begin(m, "flash/hud.movie") && m.IsReady() == 1 && m.SetVariable("bild", "taucher1_G_1") == flash::Ok);
        m.SetVariable("gesundheit", "80");
        std::vector<uint8_t> frame(30 * 52 * 4);
        EXPECT_EQ(m.Render(frame.data(), 30, 52, 4), flash::Ok);
        const std::vector<uint8_t> picture = frame;
        EXPECT_NE(picture[(40 * 30 + 15) * 4 + 3], 0) << "the air row was not drawn";
        share.time = c.time, clock.HoldOffEachLook(c.held);
        for (int n = 0; n < 3 * MovieSpend::MaxOverTime; n++) {
            const int32_t drawn = m.Render(frame.data(), 30, 52, 4);
            EXPECT_NE(drawn, flash::MovieFailed) << n;
            if (drawn == flash::Waits) EXPECT_EQ(frame, picture) << "the last picture went";
        }
        share.time = Duration::max(), clock.HoldOffEachLook({});
        EXPECT_EQ(m.Render(frame.data(), 30, 52, 4), flash::Ok);
        EXPECT_EQ(Get(m, "gesundheit"), "80");
        std::stringstream lines(c.logged);
        size_t count = 0;
        for (std::string line; std::getline(lines, line, '|'); count++) EXPECT_EQ(Logged(line), 1) << line;
        EXPECT_EQ(this->logs.size(), count) << this->logs.back();
        // Once by the movie, and once more by the game's own copy that took a loose one's place.
        EXPECT_LE(this->reads["flash/pics/taucher_1.png"], c.shipped ? 1 : 2) << "a picture refused is read again at each draw";
    }
}

// Loose movies have filled data's memory bound: the game's own still draw their pictures, and
// a loose one's picture refused for room is not read again at each draw.
TEST_F(MovieSpendTest, DatasBoundFilledByLooseMoviesHoldsBackNoneOfTheGamesOwn) {
    BmpBytes bmp;
    bmp.width = bmp.height = 8, bmp.pixels.assign(8 * 8 * 3, 0x80);
    const std::vector<uint8_t> picture = bmp.Build();
    this->files["flash/pic.png"] = std::string(picture.begin(), picture.end());
    AddMovie("flash/hud.movie", "stage(8, 8) v = ('v'):rep(1000)\nfunction draw() image('pic.png', 0, 0) end\n");
    for (bool shipped : {true, false}) {
        SCOPED_TRACE(shipped ? "the game's own" : "loose");
        this->shipped = shipped ? std::set<std::string>{"flash/hud.movie"} : std::set<std::string>{};
        this->reads.clear();
        Share share;
        flash::MovieHost host = Serve(share);
        int64_t held = 0, bound = INT64_MAX;
        host.keep = [&](int64_t n) {
            if (n > 0 && held + n > bound) return false;
            held += n;
            return true;
        };
        MovieModule m(host);
        ASSERT_TRUE(Begin(m, "flash/hud.movie") && m.IsReady() == 1);
        bound = held;
        std::vector<uint8_t> frame(8 * 8 * 4);
        for (int n = 0; n < 5; n++) m.Render(frame.data(), 8, 8, 4);
        EXPECT_EQ(frame[3] != 0, shipped) << "the picture drawn";
        EXPECT_LE(this->reads["flash/pic.png"], 1);
        EXPECT_EQ(Get(m, "v").size() == 1000, shipped) << "the game's read of its own movie's value";
    }
}

// A loose menu stopped once it plays, by its draws, its instructions, a key handler past its
// time or failing on every key (eight cheap draws between keys), or a value's handler, gives way
// to the game's own copy within a few keys, with one line; the game's own menu then has the
// game's values, hears Esc and draws.
TEST_F(MovieSpendTest, ALooseMenuStoppedOnceItPlaysGivesWayToTheGamesOwn) {
    bwtest::TestRunClock clock(microseconds(10));
    const std::string own = std::string(MovieModule::Marker) + "\nstage(4, 4) x = 'own' heard = ''\n"
                            "function on_key(kind, code) heard = heard .. kind .. code .. ';' end\n"
                            "function draw() rect(0, 0, 4, 4, 0, 0, 1, 1) end\n";
    const std::string gaveWay = "; the game's own copy of the movie plays in its place";
    const std::string spends = "for i = 1, 1e7 do t[#t + 1] = ('x'):rep(100000) .. i end end\n";
    const struct {
        std::string body, logged;
        size_t lines = 1;
    } cases[] = {
        {"x = 'loose'\nfunction draw() while true do end end\n", "(its draws 10 times it, however spaced)" + gaveWay},
        {"x = 'loose' t = {}\nfunction draw() " + spends, "instruction budget exhausted" + gaveWay},
        {"x = 'loose' t = {}\nfunction draw() end\nfunction on_value() " + spends, "instruction budget exhausted" + gaveWay},
        {"x = 'loose'\nfunction draw() end\nfunction on_key() while true do end end\n", "(its event calls 10 times it, however spaced)" + gaveWay},
        {"x = 'loose'\nfunction draw() end\nfunction on_key() error('deaf') end\n", "failed again and again (10 times)" + gaveWay, 2},
    };
    this->own = {{"flash/mainmenu.movie", own}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        this->logs.clear();
        AddMovie("flash/mainmenu.movie", c.body);
        Share share;
        share.time = milliseconds(2);
        MovieModule m(Serve(share));
        ASSERT_TRUE(Begin(m, "flash/mainmenu.movie") && m.IsReady() == 1);
        // The value waits for a frame with a share, as it does once data has spent this one's.
        share.spent = true;
        m.SetVariable("running", "1");
        share.spent = false;
        m.RunWaiting();
        std::vector<uint8_t> frame(4 * 4 * 4);
        int keys = 0;
        for (; keys < 4 * MovieSpend::MaxOverTime && Logged(c.logged) == 0; keys++) {
            for (int draw = 0; draw < 8; draw++) m.Render(frame.data(), 4, 4, 4);
            m.KeyEvent(keys % 2 ? flash::KeyUp : flash::KeyDown, 65, 0);
        }
        EXPECT_LE(keys, 2 * MovieSpend::MaxOverTime) << "not stopped within a few keys";
        EXPECT_EQ(this->logs.size(), c.lines);
        EXPECT_EQ(Logged(c.logged), 1) << this->logs.front();
        EXPECT_EQ(Get(m, "x"), "own");
        EXPECT_EQ(m.RunWaiting(), flash::Ok);
        EXPECT_EQ(Get(m, "running"), "1") << "the game's own copy did not hear the game's values";
        const std::string heard = Get(m, "heard");
        EXPECT_TRUE(m.KeyEvent(flash::KeyDown, 27, 0) == flash::Ok && Get(m, "heard") == heard + "down27;") << "Esc not heard";
        EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::Ok);
        EXPECT_EQ(frame[0], 255) << "the game's own menu is not drawn";
    }
}

// A loose menu deaf to Return by each path ("on_key", "input", both, by turns, looping) or
// blank gives way within a few Returns, and the game's own menu takes no key of the loose one's:
// over a running level Return chooses "Weiterspielen", at the start menu "Neues Spiel".
TEST_F(MovieSpendTest, TheGamesOwnMenuInADeafLooseOnesPlaceChoosesFromTheGamesState) {
    bwtest::TestRunClock clock(microseconds(10));
    const char* source = std::getenv("BW_SOURCE_DIR");
    std::ifstream in(std::string(source ? source : ".") + "/data/flash/mainmenu.movie");
    this->own = {{"flash/mainmenu.movie", std::string(std::istreambuf_iterator<char>(in), {})}};
    const std::string key = "function on_key(k) if k == 'down' then n = n + 1 assert(",
                      value = " end end function on_value(v) assert(v ~= 'input' or ";
    for (const std::string& body :
         {key + "false)" + value + "true) end", key + "true)" + value + "false) end", key + "false)" + value + "false) end",
          key + "n % 2 == 1)" + value + "n % 2 == 0) end",
          key + "true) while true do end" + value + "true) while v == 'input' do end end",
          std::string("function draw() error('blank') end")}) {
        for (const std::string running : {"1", "0"}) {
            SCOPED_TRACE(body + ", running " + running);
            this->logs.clear();
            AddMovie("flash/mainmenu.movie", "n = 0 function draw() end " + body);
            Share share;
            MovieModule m(Serve(share));
            ASSERT_TRUE(Begin(m, "flash/mainmenu.movie") && m.IsReady() == 1);
            m.SetVariable("running", running.c_str());
            std::vector<uint8_t> frame(4 * 4 * 4);
            std::string chosen;  // the menu's first line, read after each call as the node's frame reads it
            auto read = [&](int32_t) { if (chosen.empty() && m.RunWaiting() >= 0) chosen = Get(m, "Tessel_script"); };
            int keys = 0;
            for (; keys < 4 * MovieSpend::MaxOverTime && chosen.empty(); keys++) {
                read(m.Render(frame.data(), 4, 4, 4)), read(m.KeyEvent(flash::KeyDown, 13, 0));
                read(m.SetVariable("input", "enter")), read(m.KeyEvent(flash::KeyUp, 13, 0));
            }
            EXPECT_LE(keys, MovieSpend::MaxOverTime + 1);
            EXPECT_EQ(chosen, running == "1" ? "menuaction(\"weiter\")" : "menuaction(\"neu\")");
            EXPECT_EQ(Logged("the game's own copy of the movie plays in its place"), 1);
            EXPECT_EQ(m.Render(frame.data(), 4, 4, 4), flash::Ok);
        }
    }
}

}  // namespace

namespace {

// What a loose movie leaves behind when it gives way: the game's own copy keeps every text the
// game set (the menu's report stands under "running"), the line that says it gave way is
// logged whatever the loose one logged before, and a bar whose scroll (the person's drag at
// its end, handed as "move_command") fails on every drag gives way as one deaf to keys does.
TEST_F(MovieSpendTest, WhatALooseMovieThatGivesWayLeavesBehind) {
    bwtest::TestRunClock clock(microseconds(10));
    const char* source = std::getenv("BW_SOURCE_DIR");
    std::ifstream in(std::string(source ? source : ".") + "/data/flash/mainmenu.movie");
    const std::string menu(std::istreambuf_iterator<char>(in), {});
    const struct {
        const char *what, *body, *drive;  // drive: the value the game hands 10 times, then keys
        const char *own, *name, *expected;
    } cases[] = {
        {"the report stands", "function on_key() error('deaf') end", nullptr, "menu", "meldung", "Kein Spielstand vorhanden."},
        {"the line logged", "function on_key() error('deaf') end", "meldung", "bar", "x", "own"},
        {"the drag counts", "function on_value(v) assert(v ~= 'move_command') end", "move_command", "bar", "x", "own"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        this->logs.clear();
        this->own = {{"flash/m.movie", std::string(c.own) == "menu" ? menu : std::string(MovieModule::Marker) + "\nx = 'own'\n"}};
        AddMovie("flash/m.movie", std::string("n = 0 x = 'loose' function draw() end\n") +
                                      "function on_value(v) n = n + 1 assert(v ~= 'meldung', 'problem ' .. n) end\n" + c.body);
        Share share;
        MovieModule m(Serve(share));
        ASSERT_TRUE(Begin(m, "flash/m.movie") && m.IsReady() == 1);
        m.SetVariable("running", "0");
        m.SetVariable("meldung", "Kein Spielstand vorhanden.");
        // Seventeen problems of another kind, each logged once, before the loose one fails.
        for (int i = 0; c.drive && i < 2 * int(MovieModule::MaxReports); i++) m.SetVariable(c.drive, c.drive == std::string("meldung") ? "x" : "left");
        for (int key = 0; key < 4 * MovieSpend::MaxOverTime; key++) m.KeyEvent(key % 2 ? flash::KeyUp : flash::KeyDown, 65, 0);
        EXPECT_EQ(m.RunWaiting(), flash::Ok);
        EXPECT_EQ(Get(m, c.name), c.expected);
        EXPECT_EQ(Logged("the game's own copy of the movie plays in its place"), 1);
    }
}

}  // namespace
