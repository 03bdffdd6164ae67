#include "script/nScriptlet.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"

static const nCmdDef<nScriptlet> scriptletCmds[] = {
    Bind<&nScriptlet::SetAutoRun>("v_setautorun_b", "SARN"),
    Bind<&nScriptlet::GetAutoRun>("b_getautorun_v", "GARN"),
    Bind<&nScriptlet::ParseFile>("b_parsefile_s", "PRSF"),
    Bind<&nScriptlet::SetScript>("v_setscript_s", "SSCR"),
    Bind<&nScriptlet::GetScript>("s_getscript_v", "GSCR"),
    Bind<&nScriptlet::RunScriptlet>("s_run_v", "RUN_"),
    Bind<&nScriptlet::SetDataScript>("v_setdatascript_s", "SDSC"),
};
const nClassInfo nScriptlet::classInfo = nClassInfo::Make<nScriptlet>("nscriptlet", "nroot", scriptletCmds);

nScriptlet::nScriptlet() : refScriptServer_("/sys/servers/script") {}

nScriptlet::~nScriptlet() = default;

void nScriptlet::SetScriptText(const char* text, size_t len, bool asData) {
    if (!charge_.Hold(text ? len + 1 : 0, this, "setting the script")) return;
    hasScript_ = text != nullptr;
    dataText_ = asData;
    origin_ = asData ? nScriptServer::Origin::Data : nScriptServer::CurrentOrigin();
    if (text) {
        script_.Set(text, len);
    } else {
        script_.Clear();
    }
}

nScriptlet::HoldAutoRun* nScriptlet::hold_ = nullptr;

void nScriptlet::SetScript(const char* text) {
    SetScriptText(text, text ? strlen(text) : 0);
    RunIfAuto();
}

void nScriptlet::SetDataScript(const char* text) {
    SetScriptText(text, text ? strlen(text) : 0, true);
    RunIfAuto();
}

void nScriptlet::RunIfAuto() {
    if (!autoRun_) return;
    if (hold_) {
        hold_->held.emplace_back(this);
    } else {
        RunScriptlet();
    }
}

const char* nScriptlet::RunScriptlet() {
    if (!hasScript_) return nullptr;
    const char* result = nullptr;
    // Copied: the text is about to be run and may replace itself.
    nString text = script_;
    // The text may delete this scriptlet. The extra count keeps it through a
    // delete of its own; deleting an object above it destroys it all the same,
    // which the reference tells.
    nRef<nRoot> alive(this);
    AddRef();
    refScriptServer_.Get()->RunStored(text.Get(), origin_, result);
    nString out(result ? result : "");
    if (!alive.IsValid() || Release()) {
        static nString orphanResult;
        orphanResult = out;
        return orphanResult.Get();
    }
    result_ = out;
    return result_.Get();
}

bool nScriptlet::ParseFile(const char* fileName) {
    // Scripts can reach this through "parsefile": an error for them, not a stop.
    n_error("nScriptlet::ParseFile('%s'): Pure virtual function called!\n", fileName ? fileName : "");
    return false;
}

// The auto-run flag first, then the text when there is one: loading sets the flag
// before the text arrives, so an auto-run scriptlet runs once it is complete.
bool nScriptlet::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    if (!ps->Put(this, nId("SARN"), autoRun_)) return false;
    // A copy keeps the origin of the original's text: a clone through the scope, a file
    // through the command, whoever loads it.
    nScriptServer::OriginScope origin(origin_);
    const bool data = origin_ == nScriptServer::Origin::Data;
    return !hasScript_ || ps->Put(this, nId(data ? "SDSC" : "SSCR"), script_.Get());
}
