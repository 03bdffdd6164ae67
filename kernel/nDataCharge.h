#pragma once
// What data's text makes the engine keep beside its objects: a value, a text, a timer, or
// memory that a server makes for what data set up (a texture sized by data, a particle
// ring). A holder is charged to data's live total (kernel/nObjectCount.h) while it holds,
// and gives it back when it is freed or a person's value replaces data's: what data keeps
// is bounded however it keeps it.
#include <cstdint>

class nRoot;

class nDataCharge {
public:
    nDataCharge() = default;
    ~nDataCharge() { Drop(); }
    // A copy holds nothing: whoever copies the value charges it again.
    nDataCharge(const nDataCharge&) {}
    nDataCharge& operator=(const nDataCharge&) { return *this; }

    // Holds `bytes` in place of what it held while data's text runs; a person's value
    // holds nothing. False, with one log line naming `owner` and `what`, when data's live
    // total would pass its bound: nothing changes, and the caller keeps its old value.
    bool Hold(uint64_t bytes, const nRoot* owner, const char* what);
    // Holds exactly `bytes`, whatever text runs: for a holder that sums what data's own
    // entries take among a person's. Refused as Hold is when it grows past the bound.
    bool Set(uint64_t bytes, const nRoot* owner, const char* what);
    // Hold that is never refused, for the engine's own calls that cannot fail: it counts,
    // so that data's next call or run is refused instead.
    void Keep(uint64_t bytes);
    void Drop();
    uint64_t Bytes() const { return bytes_; }

    // True when `more` bytes still fit in what data may keep; else false with one log line
    // naming `owner` (when given) and `what`.
    static bool Fits(uint64_t more, const nRoot* owner, const char* what);

private:
    uint64_t bytes_ = 0;
};
