#include "tools/nScriptEdit.h"

#include "kernel/nKernelServer.h"
#include "script/nScriptlet.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEditDlg.h"

namespace {

const nCmdDef<nScriptEdit> cmds[] = {
    {"v_addcontext_s", "SACO", [](nScriptEdit* self, nCmd* c) { self->AddContext(c->In()->GetS()); }},
    {"v_open_s", "SOSF", [](nScriptEdit* self, nCmd* c) { self->Open(c->In()->GetS()); }},
};

}  // namespace

const nClassInfo nScriptEdit::classInfo = nClassInfo::Make<nScriptEdit>("nscriptedit", "nplugin", cmds);

std::string nScriptEdit::TextOf(nRoot* object) {
    const char* script = static_cast<nScriptlet*>(object)->GetScript();
    return script ? script : "";
}

void nScriptEdit::Run(nScriptEditDlg* dialog, nRoot* object) {
    // Stored as written: line breaks, comments and quotes stay.
    dialog->SetNote("");
    static_cast<nScriptlet*>(object)->SetScript(dialog->GetEditor().GetText().c_str());
}
