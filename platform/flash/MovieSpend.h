#pragma once
// What a movie may spend, in one place (the movie's module runs it; data's share of a frame
// is script/nDataText.h's).
//
// Calls and turns: every call into the movie's code (its top level, draws, events) asks the
// host for the frame's share first (MovieHost: share, time, spent); 0 makes it wait for a
// later frame. Calls before the first frame share the start window with the top level: one
// stopped there, at the window's end or out of instructions or memory, refuses the movie as
// the top level's would. A draw asks before the buffer is cleared. Events that wait are kept
// in order, at most MaxWaiting, a value's handler once a name; a value that the game sets
// before the top level ran waits with its text and is set when the top level has run. Each
// call's events have the host's small reserve besides (sys::ForeignTurn).
//
// Prices: work done in C in one piece (a picture scaled or decoded, a text face opened, the
// movie's text compiled) cannot be stopped halfway, so it is priced before it runs, in
// instructions and in time, and not done when that does not fit what is left of the call. The
// times are a busy machine's with room; they are settable (SetPrices, SetDefaultPrices): at
// higher prices a loose movie is stopped or refused sooner, the shipped movies never are.
// Compiling costs a byte an instruction and what the parser meets
// (luaguard::LuaGuards::MeasureCompile); a text priced past LongestCompile, or past a frame's
// instructions, is refused with one log line, one that fits no time left now waits. Its size
// is priced first, before the file is read.
//
// The stop records, of draws, of events and of the values that hand keys: a call stopped at the
// host's time counts as many calls as it took times its time (collections and C work between the
// hook's looks included), up to MaxOverTime; a draw that fits forgives ForgivenAFit of one of
// the draws', a key, character or click that fits as much of the events'. The values through
// which the game hands a movie keys keep a record of their own, so that a raw key that fits
// forgives no failure of the same key's value. Nothing else forgives: cheap draws or mouse moves
// between keys clear no key past its time. A loose movie's draws and input calls that fail count
// as calls past their time. A movie with MaxOverTime such calls among the last OverTimeWindow of
// a record (of the events' and the key values' together), or MaxOverTime left unforgiven however
// they were spaced, is stopped until it is loaded again. So is one whose call ran out of
// instructions or memory: a failed allocation ends the call at once (LuaSandbox), its time and
// what it spent told to the host. The game's own movies (Shipped) are never stopped or refused
// for any limit: a call of theirs stopped at its time, instructions or memory ends there and
// keeps the last picture for that frame, a start of theirs stopped at its time waits for a later
// one, and a picture or face their call cannot afford is not made, the call going on.
#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/flash/LuaSandbox.h"
#include "platform/flash/MovieHost.h"
#include "platform/luaguard/LuaGuards.h"

namespace flash {

class MovieSpend {
public:
    using Duration = std::chrono::steady_clock::duration;
    using Call = MovieHost::Call;

    struct Prices {
        // Opening a text face.
        uint64_t instructionsAFace = 20'000;
        std::chrono::nanoseconds faceTime{1'000'000};
        // A pixel scaled, a pixel decoded.
        std::chrono::nanoseconds scaleTimeAPixel{40};
        std::chrono::nanoseconds decodeTimeAPixel{8};
        // A byte of the movie's text compiled, and a compare of the parser's labels and jumps.
        std::chrono::nanoseconds compileTimeAByte = luaguard::LuaGuards::CompileTimeAByte;
        std::chrono::nanoseconds compileTimeACompare = luaguard::LuaGuards::CompileTimeACompare;
    };
    // What modules made from now on price their work at.
    static void SetDefaultPrices(const Prices& prices);
    static Prices DefaultPrices();
    // Pixels drawn, decoded or scaled in C that cost one instruction.
    static constexpr uint64_t PixelsAnInstruction = 16;
    // A text priced longer to compile is refused: the least a frame gives a call is 6 ms.
    static constexpr std::chrono::milliseconds LongestCompile{5};
    static constexpr size_t MaxWaiting = 64;
    // Bytes of values that wait for the top level, together.
    static constexpr size_t MaxWaitingValues = size_t(1) << 20;
    static constexpr int MaxOverTime = 10;
    static constexpr int OverTimeWindow = 64;
    static constexpr double ForgivenAFit = 0.25;

    enum class EventKind { Value, Mouse, Key, Char };
    struct Event {
        EventKind kind = EventKind::Value;
        std::string name;  // a value's
        std::string text;  // a value's that waits to be set (`sets`)
        bool sets = false;
        const char* what = nullptr;  // "move", "down", "up"
        double x = 0, y = 0;
        int32_t flags = 0;
        char utf8[4] = {};  // a character's
    };

    // `host` is the module's and outlives this; `limit` is the sandbox's instructions a call.
    explicit MovieSpend(const MovieHost& host, uint64_t limit = UINT64_MAX)
        : host(host), limit(limit), prices(DefaultPrices()) {}
    void SetPrices(const Prices& p) { this->prices = p; }
    const Prices& GetPrices() const { return this->prices; }
    // The movie is the game's own (read from its archives), not a loose file.
    void SetShipped(bool on) { this->shipped = this->turn.shipped = on; }
    bool Shipped() const { return this->shipped; }

    // A new load into `sandbox` (null: none): the record, the waiting events and the top
    // level's price start again.
    void Attach(LuaSandbox* sandbox);

    // ---- calls and turns
    // The instructions a call may take now; 0: it waits for a later frame.
    uint64_t Share(Call kind);
    // A draw's share, asked before the buffer is cleared, then what the draw's call takes.
    uint64_t AskDraw();
    uint64_t Budget(Call kind) { return kind == Call::Draw ? this->drawBudget : Share(kind); }
    Duration Time(Call kind) const;
    // What the sandbox's last call spent, told to the host.
    void Spent();

    // What a call hears of the person's input: none (draws, moves, values that describe), a
    // key, character or click, or a value through which the game hands keys.
    enum class Input { None, Event, Value };

    // What a call into the movie came to.
    enum class Outcome {
        Ran,
        Waits,           // no share now: it runs in a later frame
        PassedTime,      // stopped at its time; the record does not stop the movie yet
        Ended,           // the game's own call ended at its instructions or memory (`error`): it goes on
        RefusedAtStart,  // a call before the first frame stopped (its time, instructions or memory)
        StoppedForTime,  // the record stops the movie (logged by the caller, as the rest)
        StoppedForBudget,  // out of instructions or memory: stopped
        StoppedDeaf,     // a loose movie's draws or input calls failed again and again (`error` the last): stopped
        Failed,          // an error of the movie's
    };
    // Calls `fn` with `data` in the sandbox within the share for `kind` (a draw's as asked
    // before), tells the host what it spent and counts it in the record; a call that hears
    // `input` forgives its record when it fits.
    Outcome RunCall(lua_CFunction fn, void* data, Call kind, std::string& error, Input input = Input::None);
    // The top level's text, compiled and run once the share has room for it (Waits until
    // then); a text that no frame compiles is refused (Failed, with `error`). A top level
    // stopped at its time is PassedTime (the game's own waits for a later frame then: the
    // frame's share counts as spent).
    Outcome RunTop(const std::string& text, const std::string& chunkName, std::string& error);

    // ---- prices of work in one piece, within the call going on
    bool Affords(uint64_t instructions, std::chrono::nanoseconds time);
    // False with the line to log (none when the work ends the call).
    bool AffordsPixels(bool scale, uint64_t pixels, std::string_view file, std::string& error);
    bool AffordsFace(std::string& error);
    // Work was priced past a loose movie's call's instructions: the call ends as the charge
    // would.
    bool PastBudget() const { return this->pastBudget; }
    // Work was priced when the call's time had run out: the call ends as out of time, whichever
    // test the work met first.
    bool PastTime() const { return this->pastTime; }
    void ClearPastBudget() { this->pastBudget = this->pastTime = false; }
    // The longest time priced for one piece since the load.
    std::chrono::nanoseconds MostPriced() const { return this->mostPriced; }

    // ---- the top level's compile
    // Whether a text of `bytes` may compile in any frame by its size alone, before it is read
    // or scanned (what the parser meets only adds to it); false with the line to log.
    bool SizeFits(uint64_t bytes, std::string& error) const;
    // Prices the text once a load: what the parser meets, and the time it is taken to take.
    void PriceTop(const char* text, size_t size);
    std::chrono::nanoseconds TopTime() const { return this->topTime; }

    // ---- the stop records
    // A draw or event (`kind`, hearing `input`) stopped at its time that took `taken` of
    // `given`, or one that fit and forgives (`over` false); true once the movie is to be stopped.
    bool Record(Call kind, bool over, Duration taken = {}, Duration given = LuaSandbox::NoTime,
                Input input = Input::None);

    // ---- waiting events
    // Keeps the event, the oldest dropped past MaxWaiting; a value's text past
    // MaxWaitingValues is refused.
    enum class Kept { Yes, OldestDropped, Refused };
    Kept Wait(Event event);
    std::deque<Event>& Waiting() { return this->waiting; }
    size_t WaitingCount() const { return this->waiting.size(); }
    void DropWaiting();
    void PopWaiting();

private:
    // What the last work priced that did not fit was short of, for its log line.
    const char* ShortOf() const;

    const MovieHost& host;
    uint64_t limit;
    Prices prices;
    bool shipped = false;
    LuaSandbox* sandbox = nullptr;
    sys::ForeignTurn turn;  // the movie's place among data's code
    uint64_t drawBudget = UINT64_MAX;
    bool pastBudget = false;
    bool pastTime = false;
    bool shortOfInstructions = false;  // the last work priced did not fit the call's instructions
    std::chrono::nanoseconds mostPriced{};
    uint64_t topBytes = 0, topCompares = 0;
    std::chrono::nanoseconds topTime{};
    struct StopRecord {
        uint64_t last = 0;  // the last calls that count, 1 for those past their time
        double unforgiven = 0;
    };
    StopRecord draws, events, keyValues;
    std::deque<Event> waiting;
    size_t waitingValueBytes = 0;
};

}  // namespace flash
