#include "platform/flash/MovieSpend.h"

#include <algorithm>
#include <bit>
#include <mutex>
#include <string_view>


namespace flash {

namespace {

std::mutex pricesLock;
MovieSpend::Prices& Installed() {
    static MovieSpend::Prices prices;
    return prices;
}

}  // namespace

void MovieSpend::SetDefaultPrices(const Prices& p) {
    std::lock_guard<std::mutex> lock(pricesLock);
    Installed() = p;
}

MovieSpend::Prices MovieSpend::DefaultPrices() {
    std::lock_guard<std::mutex> lock(pricesLock);
    return Installed();
}

void MovieSpend::Attach(LuaSandbox* box) {
    this->sandbox = box;
    this->draws = this->events = this->keyValues = StopRecord();
    this->mostPriced = {};
    this->topBytes = this->topCompares = 0;
    this->topTime = {};
    DropWaiting();
}

uint64_t MovieSpend::Share(Call kind) {
    this->turn.atStart = false;  // the host says when a call runs in the start window
    return this->host.share ? this->host.share(kind, this->turn) : UINT64_MAX;
}

uint64_t MovieSpend::AskDraw() { return this->drawBudget = Share(Call::Draw); }

MovieSpend::Duration MovieSpend::Time(Call kind) const {
    return this->host.time ? this->host.time(kind, this->turn) : LuaSandbox::NoTime;
}

void MovieSpend::Spent() {
    if (this->host.spent && this->sandbox) {
        this->host.spent(this->sandbox->LastSpent(), this->sandbox->LastTime(), this->sandbox->LastWall(), this->turn);
    }
}

bool MovieSpend::Affords(uint64_t instructions, std::chrono::nanoseconds time) {
    this->mostPriced = std::max(this->mostPriced, time);
    this->shortOfInstructions = false;
    if (!this->sandbox || this->sandbox->Affords(instructions, time)) return true;
    if (this->sandbox->TimeLeft() <= Duration::zero()) {
        this->pastTime = true;
    } else if (!this->sandbox->Affords(instructions, Duration::zero())) {
        // A loose movie's draw that loops over large pictures ends as one that loops in Lua;
        // the game's own goes on without the picture.
        this->shortOfInstructions = true;
        this->pastBudget = !this->shipped;
    }
    return false;
}

// Work that runs in one piece is priced before it runs: what does not fit what is left of the
// call is not done, logged (one line a picture), and the draw goes on without it.
bool MovieSpend::AffordsPixels(bool scale, uint64_t pixels, std::string_view file, std::string& error) {
    const auto price = scale ? this->prices.scaleTimeAPixel : this->prices.decodeTimeAPixel;
    const auto most = std::chrono::nanoseconds::max() / int64_t(std::max<uint64_t>(pixels, 1));
    if (Affords(pixels / PixelsAnInstruction, price > most ? std::chrono::nanoseconds::max() : price * int64_t(pixels))) {
        return true;
    }
    if (!this->pastBudget && !this->pastTime) {
        error = std::string(scale ? "scaling '" : "decoding '") + std::string(file) + "' takes more than " + ShortOf() +
                ": not drawn";
    }
    return false;
}

bool MovieSpend::AffordsFace(std::string& error) {
    if (Affords(this->prices.instructionsAFace, this->prices.faceTime)) return true;
    if (!this->pastBudget && !this->pastTime) error = std::string("opening a text face takes more than ") + ShortOf() + ": not drawn";
    return false;
}

const char* MovieSpend::ShortOf() const {
    return this->shortOfInstructions ? "a call of the movie may spend" : "is left of the frame's time for data";
}

MovieSpend::Outcome MovieSpend::RunCall(lua_CFunction fn, void* data, Call kind, std::string& error, Input input) {
    const uint64_t budget = Budget(kind);
    if (budget == 0) return Outcome::Waits;
    const Duration time = Time(kind);
    const bool ok = this->sandbox->Call(fn, data, error, budget, time);
    Spent();
    if (ok) {
        // A draw that fits moves the draws' record on, a key or click that fits the events', a
        // value that hands keys its own; cheap events (moves, other values) do not, so many of
        // them between clear nothing.
        if (kind == Call::Draw || (kind == Call::Event && input != Input::None)) {
            Record(kind, false, {}, LuaSandbox::NoTime, input);
        }
        return Outcome::Ran;
    }
    // The game's own movie goes on past every limit: the call ends where it met it.
    if (this->shipped && this->sandbox->WasOutOfTime()) return Outcome::PassedTime;
    if (this->shipped && this->sandbox->WasOverBudget()) return Outcome::Ended;
    // Calls at the start count with the top level: what stops one refuses the movie.
    if (this->turn.atStart && (this->sandbox->WasOverTime() || this->sandbox->WasOverBudget())) {
        const std::string when = this->turn.beforeFirstFrame ? "before the first frame" : "at its start";
        if (this->sandbox->WasOverTime()) error = "its calls " + when + " took more than its start's time for data";
        else error += " " + when;
        DropWaiting();
        return Outcome::RefusedAtStart;
    }
    if (this->sandbox->WasOverTime()) {
        if (!Record(kind, true, this->sandbox->LastTime(), time, input)) return Outcome::PassedTime;
        DropWaiting();
        return Outcome::StoppedForTime;
    }
    // A movie that spends its time in C functions would otherwise take its whole budget again
    // on every frame.
    if (this->sandbox->WasOverBudget()) return Outcome::StoppedForBudget;
    // A loose movie whose draws, or calls that hear the person's keys and clicks, fail again
    // and again is blank or deaf to the player, as one whose calls run over their time is.
    const bool counts = kind == Call::Draw || (kind == Call::Event && input != Input::None);
    if (counts && !this->shipped && Record(kind, true, {}, LuaSandbox::NoTime, input)) {
        DropWaiting();
        return Outcome::StoppedDeaf;
    }
    return Outcome::Failed;
}

bool MovieSpend::SizeFits(uint64_t bytes, std::string& error) const {
    const luaguard::LuaGuards::CompileWork work{bytes, 0};
    const auto time = luaguard::LuaGuards::CompileTime(work, this->prices.compileTimeAByte, this->prices.compileTimeACompare);
    if (time <= LongestCompile && bytes < this->limit) return true;
    error = "the movie's text (" + std::to_string(bytes) + " bytes) takes more to compile than a frame gives data: not loaded";
    return false;
}

MovieSpend::Outcome MovieSpend::RunTop(const std::string& text, const std::string& chunkName, std::string& error) {
    const uint64_t budget = Share(Call::Load);
    if (budget == 0) return Outcome::Waits;
    const Duration time = Time(Call::Load);
    if (this->topTime > LongestCompile || this->topBytes + this->topCompares >= std::min(budget, this->limit)) {
        error = "the movie's text (" + std::to_string(text.size()) +
                " bytes) takes more to compile than a frame gives data: not loaded";
        return Outcome::Failed;
    }
    if (this->topTime >= time) return Outcome::Waits;
    const bool ran = this->sandbox->Run(text.data(), text.size(), chunkName, error, budget, time, this->topCompares);
    if (ran || !this->sandbox->WasOutOfTime()) {
        Spent();
        return ran ? Outcome::Ran : Outcome::Failed;
    }
    // Stopped at its time, which a machine that held it off the core may have brought early:
    // the frame counts as having given it all, so that a start tried again waits for a later one.
    if (this->host.spent && time != LuaSandbox::NoTime) {
        this->host.spent(this->sandbox->LastSpent(), std::max(this->sandbox->LastTime(), time),
                         std::max(this->sandbox->LastWall(), time), this->turn);
    } else {
        Spent();
    }
    return Outcome::PassedTime;
}

void MovieSpend::PriceTop(const char* text, size_t size) {
    const luaguard::LuaGuards::CompileWork work = luaguard::LuaGuards::MeasureCompile(text, size);
    this->topBytes = work.bytes;
    this->topCompares = work.compares / luaguard::LuaGuards::ComparesAnInstruction;
    this->topTime = luaguard::LuaGuards::CompileTime(work, this->prices.compileTimeAByte, this->prices.compileTimeACompare);
    this->mostPriced = std::max(this->mostPriced, this->topTime);
}

bool MovieSpend::Record(Call kind, bool over, Duration taken, Duration given, Input input) {
    static_assert(OverTimeWindow == 64, "the record is a word's bits");
    // Draws and events apart: draws between keys forgive no key past its time; and a key's
    // raw event that fits forgives no failure of the value that hands the same key.
    StopRecord& record = kind == Call::Draw ? this->draws : input == Input::Value ? this->keyValues : this->events;
    record.last = record.last << 1 | uint64_t(over);
    if (!over) {
        record.unforgiven = std::max(0.0, record.unforgiven - ForgivenAFit);
        return false;
    }
    // A call that took many times its time (collections, C work between the hook's looks)
    // costs the player as many; a time shorter than a millisecond (a reserve's rest) counts as
    // one, the hook's looks being that far apart.
    double times = 1;
    if (given != LuaSandbox::NoTime) {
        const Duration least = std::max<Duration>(given, std::chrono::milliseconds(1));
        times = std::clamp(double(taken.count()) / double(least.count()), 1.0, double(MaxOverTime));
    }
    record.unforgiven += times;
    if (kind == Call::Draw) return std::popcount(record.last) >= MaxOverTime || record.unforgiven >= MaxOverTime;
    // The person's keys fail together, whichever way each failure came: a movie cannot stay
    // by failing a key's raw event and its value by turns.
    return std::popcount(this->events.last) + std::popcount(this->keyValues.last) >= MaxOverTime ||
           this->events.unforgiven + this->keyValues.unforgiven >= MaxOverTime;
}

MovieSpend::Kept MovieSpend::Wait(Event event) {
    // A value's handler waits once: it hears the value as it is when its time comes, and a
    // value that waits to be set takes the last text.
    if (event.kind == EventKind::Value) {
        for (Event& waiting : this->waiting) {
            if (waiting.kind != EventKind::Value || waiting.name != event.name) continue;
            if (!event.sets) return Kept::Yes;
            if (this->waitingValueBytes - waiting.text.size() + event.text.size() > MaxWaitingValues) return Kept::Refused;
            this->waitingValueBytes = this->waitingValueBytes - waiting.text.size() + event.text.size();
            waiting.text = std::move(event.text);
            waiting.sets = true;
            return Kept::Yes;
        }
        if (event.sets && this->waitingValueBytes + event.text.size() > MaxWaitingValues) return Kept::Refused;
    }
    // A move followed by a move: the pointer is where the last one left it.
    if (event.kind == EventKind::Mouse && std::string_view(event.what) == "move" && !this->waiting.empty()) {
        Event& last = this->waiting.back();
        if (last.kind == EventKind::Mouse && std::string_view(last.what) == "move") {
            last = std::move(event);
            return Kept::Yes;
        }
    }
    Kept kept = Kept::Yes;
    if (this->waiting.size() >= MaxWaiting) {
        PopWaiting();
        kept = Kept::OldestDropped;
    }
    this->waitingValueBytes += event.text.size();
    this->waiting.push_back(std::move(event));
    return kept;
}

void MovieSpend::PopWaiting() {
    if (this->waiting.empty()) return;
    this->waitingValueBytes -= this->waiting.front().text.size();
    this->waiting.pop_front();
}

void MovieSpend::DropWaiting() {
    this->waiting.clear();
    this->waitingValueBytes = 0;
}

}  // namespace flash
