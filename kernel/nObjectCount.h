#pragma once
// The objects made by every class so far (nClass::NewObject counts them): a script run
// from data is bounded in the objects it makes, whichever command makes them. Objects
// made while a run of data's text goes on are charged to it by the memory they take and
// counted while they live (nRoot gives them back as it dies), so that what data leaves
// behind is bounded across its runs too.
#include <atomic>
#include <cstdint>

class nObjectCount {
public:
    // What an object costs besides its instance and its name: the name's node and hash
    // entry, the children's index, the allocator's own bytes.
    static constexpr uint64_t ObjectOverhead = 256;
    // What data's runs may have made and still live, together, and the bytes they and what
    // data keeps on any object (kernel/nDataCharge.h) may take: a line or a timer every
    // frame cannot grow the game without end.
    static constexpr uint64_t LiveObjects = 30'000;
    static constexpr uint64_t LiveBytes = uint64_t(256) << 20;
    static uint64_t LiveBytesBound() { return liveBytesBound_; }
    // A test's smaller bound, so that passing it costs little (LiveBytes again after).
    static void SetLiveBytesBound(uint64_t bytes) { liveBytesBound_ = bytes; }

    static uint64_t Made() { return made_.load(std::memory_order_relaxed); }
    static void Add() { made_.fetch_add(1, std::memory_order_relaxed); }

    // The run of data's text going on now (0 while none is): objects made now are its.
    static uint32_t DataRun() { return dataRun_; }
    static void SetDataRun(uint32_t run) { dataRun_ = run; }
    // A new number for a run of data's text.
    static uint32_t NextDataRun() { return ++lastDataRun_ ? lastDataRun_ : ++lastDataRun_; }
    // Objects that data's runs made and that live, and the bytes they were charged.
    static uint64_t DataLive() { return dataLive_; }
    static uint64_t DataLiveBytes() { return dataLiveBytes_; }
    // Every byte charged to data's runs so far (never decreases).
    static uint64_t DataBytesMade() { return dataBytesMade_; }
    static void AddData(uint64_t bytes) {
        dataLive_++;
        Charge(int64_t(bytes));
    }
    static void Charge(int64_t bytes) {
        dataLiveBytes_ += uint64_t(bytes);
        if (bytes > 0) dataBytesMade_ += uint64_t(bytes);
    }
    // What data keeps besides its objects (kernel/nDataCharge.h): live, but not made by a
    // run, whose text handed to commands already counted it.
    static void ChargeKept(int64_t bytes) { dataLiveBytes_ += uint64_t(bytes); }
    static void RemoveData(uint64_t bytes) {
        dataLive_--;
        dataLiveBytes_ -= bytes;
    }
    // The live objects that the bound on data's leftovers counts: those that a load now
    // running replaces (see CreditScope) do not.
    static uint64_t DataLiveCounted() { return dataLive_ > dataLiveCredit_ ? dataLive_ - dataLiveCredit_ : 0; }
    // While it lives, `objects` of data's live objects are not counted against the bound: a
    // person's load that will replace them (the stores and the level it ends) is not refused
    // for what it replaces.
    class CreditScope {
    public:
        explicit CreditScope(uint64_t objects) : before_(dataLiveCredit_) { dataLiveCredit_ += objects; }
        ~CreditScope() { dataLiveCredit_ = before_; }
        CreditScope(const CreditScope&) = delete;
        CreditScope& operator=(const CreditScope&) = delete;

    private:
        uint64_t before_;
    };

    // True while what data made and keeps is within its bounds.
    static bool DataWithinBounds() { return dataLive_ <= LiveObjects && dataLiveBytes_ <= liveBytesBound_; }

    // Objects made while one lives are charged to data's run `run`, as if that run made
    // them: the game's own flow building what data's file named. Nothing changes while a
    // run of data's text goes on already, or for run 0.
    class ChargeScope {
    public:
        explicit ChargeScope(uint32_t run) : outer_(dataRun_) {
            if (!dataRun_ && run) dataRun_ = run;
        }
        ~ChargeScope() { dataRun_ = outer_; }
        ChargeScope(const ChargeScope&) = delete;
        ChargeScope& operator=(const ChargeScope&) = delete;

    private:
        uint32_t outer_;
    };

private:
    static inline std::atomic<uint64_t> made_{0};
    // Scripts run on the main thread only.
    static inline uint32_t dataRun_ = 0;
    static inline uint32_t lastDataRun_ = 0;
    static inline uint64_t dataLive_ = 0;
    static inline uint64_t dataLiveBytes_ = 0;
    static inline uint64_t dataBytesMade_ = 0;
    static inline uint64_t dataLiveCredit_ = 0;
    static inline uint64_t liveBytesBound_ = LiveBytes;
};
