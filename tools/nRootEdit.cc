#include "tools/nRootEdit.h"

#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEditDlg.h"

namespace {

const nCmdDef<nRootEdit> cmds[] = {
    {"v_addcontext_s", "SACO", [](nRootEdit* self, nCmd* c) { self->AddContext(c->In()->GetS()); }},
    {"v_open_s", "SOSF", [](nRootEdit* self, nCmd* c) { self->Open(c->In()->GetS()); }},
};

const char* TypeWord(nArg::Type type) {
    switch (type) {
        case nArg::Bool: return "bool";
        case nArg::Code: return "char";
        case nArg::Float: return "float";
        case nArg::Int: return "int";
        case nArg::Object: return "object";
        case nArg::String: return "string";
        default: return nullptr;
    }
}

}  // namespace

const nClassInfo nRootEdit::classInfo = nClassInfo::Make<nRootEdit>("nrootedit", "nplugin", cmds);

std::string nRootEdit::ObjectText(nRoot* object) {
    std::string text = "--[name]: " + object->GetFullName() + "\n--[class]: " +
                       (object->GetClass() ? object->GetClass()->GetName() : "") +
                       "\n-----------------------------------\n";
    nPersistServer* ps = nKernelServer::ks->GetPersistServer();
    nString lines;
    if (ps && ps->CaptureCmds(object, lines) && lines.Get()) text += lines.Get();
    return text;
}

std::string nRootEdit::Commands(nRoot* object) {
    std::string list;
    for (nClass* cls = object->GetClass(); cls; cls = cls->GetSuperClass()) {
        for (nCmdProto* p = cls->GetFirstCmd(); p; p = p->GetNextCmd()) {
            const std::string proto = p->GetProtoText() ? p->GetProtoText() : "";
            const size_t first = proto.find('_');
            const size_t last = proto.rfind('_');
            if (first == std::string::npos || last <= first) continue;
            list += proto.substr(first + 1, last - first - 1) + "(";
            bool comma = false;
            for (int i = 0; i < p->GetNumInArgs(); i++) {
                const char* word = TypeWord(p->GetInType(i));
                if (!word) continue;
                if (comma) list += ',';
                list += word;
                comma = true;
            }
            list += ") ";
        }
    }
    if (!list.empty()) list.pop_back();
    return list;
}

void nRootEdit::Run(nScriptEditDlg* dialog, nRoot* object) {
    nKernelServer* ks = nKernelServer::ks;
    const std::string text = dialog->GetEditor().GetText();
    nScriptServer* script = refScript_.Resolve();
    if (!text.empty() && script) {
        // The object gone meanwhile: the text runs at the root.
        ks->PushCwd(object ? object : ks->GetRoot());
        const char* result = nullptr;
        // The text may delete this editor, and with it the dialog.
        nRef<nRoot> self;
        self = this;
        script->Run(text.c_str(), result);
        ks->PopCwd();
        if (!self.IsValid()) return;
    } else if (!script) {
        ks->Print("%s: no script server to run the text\n", GetFullName().c_str());
    }
    // The text may have deleted the object: looked up again.
    if (nRoot* now = ks->Lookup(dialog->GetName())) dialog->GetEditor().SetText(ObjectText(now).c_str());
}
