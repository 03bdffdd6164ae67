#include "logic/nModScriptAnimator.h"

#include <cmath>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "logic/nLogicNode.h"

static const nCmdDef<nModScriptAnimator> cmds[] = {
    Bind<&nModScriptAnimator::BeginAnims>("v_beginanims_i", "BGAS"),
    Bind<&nModScriptAnimator::SetAnim>("v_setanim_ifs", "STAN"),
    Bind<&nModScriptAnimator::EndAnims>("v_endanims_v", "ENAS"),
};
const nClassInfo nModScriptAnimator::classInfo =
    nClassInfo::Make<nModScriptAnimator>("nmodscriptanimator", "nmodanimator", cmds);

nModScriptAnimator::nModScriptAnimator() = default;

nModScriptAnimator::~nModScriptAnimator() = default;

void nModScriptAnimator::BeginAnims(int count) {
    if (count < 0 || count > MaxEntries) {
        n_error("%s: beginanims: %d entries (0 to %d), unchanged\n", GetFullName().c_str(), count, MaxEntries);
        return;
    }
    if (!entriesCharge_.Hold(uint64_t(count) * sizeof(Entry), this, "v_beginanims_i")) return;
    entries_.reset(count > 0 ? new Entry[size_t(count)] : nullptr);
    entryCount_ = count;
    open_ = true;
}

void nModScriptAnimator::SetAnim(int index, float time, const char* script) {
    if (index < 0 || index >= entryCount_) {
        n_error("%s: setanim: entry %d outside 0 to %d, ignored\n", GetFullName().c_str(), index, entryCount_ - 1);
        return;
    }
    Entry& e = entries_[index];
    e.time = time;
    e.script = script ? script : "";
    e.origin = nScriptServer::CurrentOrigin();
    e.fired = false;
    e.firedAt = 0.0f;
}

bool nModScriptAnimator::SaveCmds(nPersistServer* ps) {
    if (!nModAnimator::SaveCmds(ps)) return false;
    if (entryCount_ == 0) return true;
    bool ok = ps->Put(this, nId("BGAS"), entryCount_);
    for (int i = 0; ok && i < entryCount_; i++) {
        nScriptServer::OriginScope origin(entries_[i].origin);
        ok = ps->Put(this, nId("STAN"), i, entries_[i].time, entries_[i].script.Get());
    }
    return ok && ps->Put(this, nId("ENAS"));
}

void nModScriptAnimator::Animate(nLogicNode* owner, float t) {
    if (entryCount_ == 0 || !owner) return;
    if (repType_ == Loop) {
        const float period = entries_[entryCount_ - 1].time;
        if (period > 0.0f) {
            // Whole periods since baseTime, clamped so that any time converts.
            double q = std::trunc(double(t) / double(period));
            const int64_t n = q >= 1e15 ? int64_t(1e15) : q <= -1e15 ? int64_t(-1e15) : q == q ? int64_t(q) : 0;
            if (t < baseTime_) periodCounter_ = 0;
            if (n == periodCounter_ + 1) {
                // The period just ended: what it did not run yet runs now, then all re-arm.
                if (!RunDue(owner, t, true)) return;
                for (int i = 0; i < entryCount_; i++) {
                    entries_[i].fired = false;
                    entries_[i].firedAt = 0.0f;
                }
            }
            periodCounter_ = n;
            t = std::fmod(t, period);
        } else if (!periodLogged_) {
            periodLogged_ = true;
            n_error("%s: a loop needs a last entry time above 0 (it is %g); the entries run once\n",
                    GetFullName().c_str(), double(period));
        }
    }
    RunDue(owner, t, false);
}

bool nModScriptAnimator::RunDue(nLogicNode* owner, float t, bool all) {
    nScriptServer* server = refScriptServer_.Get();
    nKernelServer* ks = nKernelServer::ks;
    // A script may release this module or give it new entries: the count is read anew
    // after each one, and the script text is copied before it runs.
    nRef<nRoot> self(this);
    for (int i = 0; i < entryCount_; i++) {
        Entry& e = entries_[i];
        if (e.fired || (!all && !(t >= e.time))) continue;
        e.fired = true;
        e.firedAt = t;
        nString script = e.script;
        const nScriptServer::Origin origin = e.origin;
        const char* result = nullptr;
        ks->PushCwd(owner);
        bool ok = server->RunStored(script.Get(), origin, result);
        ks->PopCwd();
        if (!self.IsValid()) return false;
        if (!ok) n_error("%s: the script of entry %d failed: %s\n", GetFullName().c_str(), i, result ? result : "");
        server = refScriptServer_.Get();
    }
    return true;
}
