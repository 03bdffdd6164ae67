#include "tools/nRootEdit.h"

#include "kernel/nCmdProto.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "kernel/nRef.h"
#include "platform/ui/EditorControl.h"
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
    if (!script) {
        ks->Print("%s: no script server to run the text for '%s'\n", GetFullName().c_str(), dialog->GetName());
        dialog->SetNote("Kein Script-Server: der Text wurde nicht ausgef\xc3\xbchrt.");
        return;
    }
    if (!text.empty()) {
        ks->PushCwd(object);
        const char* result = nullptr;
        std::string error;
        // The text may delete this editor, and with it the dialog.
        const nRef<nRoot> self(this);
        const bool ok = script->RunCatching(text.c_str(), result, error);
        ks->PopCwd();
        if (!self.IsValid()) return;
        if (!ok) {
            // The text stays for the person to mend; the error shows where they look.
            ks->Print("%s: the text run at '%s' failed: %s\n", GetFullName().c_str(), dialog->GetName(), error.c_str());
            dialog->SetNote("Fehler: " + error);
            return;
        }
    }
    dialog->SetNote("");
    // The text may have deleted or moved the object: shown where it stands now, if it does.
    if (nRoot* now = Subject(dialog)) dialog->GetEditor().SetText(ObjectText(now).c_str());
}

void nRootEdit::Moved(nScriptEditDlg* dialog, nRoot*, const std::string& from) {
    ui::EditorControl* c = dialog->GetEditor().GetControl();
    if (!c) return;
    // Only a header as it was written changes: one the person edited stays theirs.
    constexpr std::string_view head = "--[name]: ";
    const std::string& text = c->GetText();
    const size_t end = head.size() + from.size();
    if (text.compare(0, head.size(), head) != 0 || text.compare(head.size(), from.size(), from) != 0 ||
        (end < text.size() && text[end] != '\n')) {
        return;
    }
    c->ReplaceUntracked(head.size(), end, dialog->GetName());
}
