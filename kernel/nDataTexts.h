#pragma once
// The texts that data's text handed an object's setters, which the object may keep: each
// setter's (and each key's, for a setter whose first text names what it sets) longest text
// is charged to data's live total until the object dies or a person sets it again.
#include <cstdint>
#include <unordered_map>

#include "kernel/nDataCharge.h"

class nCmdProto;
class nRoot;

class nDataTexts {
public:
    // Charges `bytes` for `proto`'s call under `key` on `owner` in place of what the same
    // call charged before (a person's call gives it back). False, logged, when data would
    // keep more than it may: the call is to be refused.
    bool Charge(const nRoot* owner, const nCmdProto* proto, uint64_t key, uint64_t bytes);

private:
    // What one entry costs beside its text.
    static constexpr uint64_t EntryBytes = 64;
    std::unordered_map<uint64_t, uint64_t> texts_;
    nDataCharge charge_;
};
