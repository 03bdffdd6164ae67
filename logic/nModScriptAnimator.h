#pragma once
// Runs script lines when its logic node's time passes given moments (script class
// "nmodscriptanimator"), with the node as the current object: each entry once, or, in a
// loop whose period is the last entry's time, once in every period.
#include <cstdint>
#include <memory>

#include "kernel/nDataCharge.h"
#include "kernel/nPathRef.h"
#include "kernel/nScriptServer.h"
#include "kernel/nString.h"
#include "logic/nModAnimator.h"

class nScriptServer;

class nModScriptAnimator : public nModAnimator {
public:
    static const nClassInfo classInfo;
    // Larger counts are refused (a wrong count must not allocate gigabytes).
    static constexpr int MaxEntries = 4096;

    nModScriptAnimator();
    ~nModScriptAnimator() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Runs the entries whose time has come. A loop that skips whole periods between two
    // frames runs no entry of the skipped ones; the next whole period re-arms. A loop
    // whose last entry time is not above 0 has no period and runs its entries once (logged).
    void Animate(nLogicNode* owner, float time) override;

    // Drops the entries for `count` empty ones.
    void BeginAnims(int count);
    // Entry `index` runs `script` at `time`, armed again; an index outside 0 to count - 1
    // is logged and changes nothing.
    void SetAnim(int index, float time, const char* script);
    void EndAnims() { open_ = false; }

    int GetNumEntries() const { return entryCount_; }

private:
    struct Entry {
        nString script;
        nScriptServer::Origin origin = nScriptServer::Origin::Person;
        bool fired = false;
        float time = 0.0f;
        float firedAt = 0.0f;
    };
    // Runs each entry not fired yet that is due at `t` (every one when `all`), with the
    // node current; false when a script released this module.
    bool RunDue(nLogicNode* owner, float t, bool all);

    std::unique_ptr<Entry[]> entries_;
    nDataCharge entriesCharge_;  // the table that data sized
    int entryCount_ = 0;
    bool open_ = false;
    bool periodLogged_ = false;
    int64_t periodCounter_ = 0;
    nPathRef<nScriptServer> refScriptServer_{"/sys/servers/script"};
};
