#include "script/nScriptlet.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"

static const nCmdDef<nScriptlet> scriptletCmds[] = {
    {"v_setautorun_b", "SARN", [](nScriptlet* self, nCmd* c) { self->SetAutoRun(c->In()->GetB()); }},
    {"b_getautorun_v", "GARN", [](nScriptlet* self, nCmd* c) { c->Out()->SetB(self->GetAutoRun()); }},
    {"b_parsefile_s", "PRSF", [](nScriptlet* self, nCmd* c) { c->Out()->SetB(self->ParseFile(c->In()->GetS())); }},
    {"v_setscript_s", "SSCR", [](nScriptlet* self, nCmd* c) { self->SetScript(c->In()->GetS()); }},
    {"s_getscript_v", "GSCR", [](nScriptlet* self, nCmd* c) { c->Out()->SetS(self->GetScript()); }},
    {"s_run_v", "RUN_", [](nScriptlet* self, nCmd* c) { c->Out()->SetS(self->RunScriptlet()); }},
};
const nClassInfo nScriptlet::classInfo = nClassInfo::Make<nScriptlet>("nscriptlet", "nroot", scriptletCmds);

nScriptlet::nScriptlet() : refScriptServer_("/sys/servers/script") {}

nScriptlet::~nScriptlet() = default;

void nScriptlet::SetScriptText(const char* text, size_t len) {
    hasScript_ = text != nullptr;
    if (text) {
        script_.Set(text, len);
    } else {
        script_.Clear();
    }
}

void nScriptlet::SetScript(const char* text) {
    SetScriptText(text, text ? strlen(text) : 0);
    if (autoRun_) RunScriptlet();
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
    refScriptServer_.Get()->Run(text.Get(), result);
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
    nCmd* cmd = NewCmd(nId("SARN"));
    if (!cmd) return false;
    cmd->In()->SetB(autoRun_);
    if (!ps->PutCmd(cmd, 0)) return false;
    if (!hasScript_) return true;
    cmd = NewCmd(nId("SSCR"));
    if (!cmd) return false;
    cmd->In()->SetS(script_.Get());
    return ps->PutCmd(cmd, 0);
}
