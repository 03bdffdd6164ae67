#include "tools/nEditPlugin.h"

#include "kernel/nKernelServer.h"
#include "platform/ui/ToolWindow.h"
#include "script/nLuaWriter.h"
#include "tools/nContextMenuItem.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEditDlg.h"
#include "tools/nTreeView.h"
#include "tools/nWinCommandEvent.h"

nEditPlugin::~nEditPlugin() {
    Hooks(false);
    while (nHashNode* d = dialogs_.GetHead()) delete static_cast<nScriptEditDlg*>(d);
}

void nEditPlugin::Initialize() {
    nPlugin::Initialize();
    Hooks(shown_);
}

nTreeView* nEditPlugin::TreeView() const {
    return dynamic_cast<nTreeView*>(nKernelServer::ks->Lookup(kTreeViewPath));
}

void nEditPlugin::Hooks(bool on) {
    nTreeView* tv = TreeView();
    if (!tv || on == registered_) return;
    std::string self = "obj(";
    nLuaWriter::AppendQuoted(self, GetFullName().c_str(), '\'');
    const std::string open = self + ").open";
    const std::string addContext = self + ").addcontext";
    if (on) {
        tv->FindOrCreateEvent(EntryName(), "s");
        tv->AddEventFunction(EntryName(), open.c_str());
        tv->AddEventFunction("nm_rclick", addContext.c_str());
    } else {
        tv->RemoveEvent(EntryName());
        tv->RemoveEventFunction("nm_rclick", addContext.c_str());
    }
    registered_ = on;
}

void nEditPlugin::SetActive(bool active) {
    nPlugin::SetActive(active);
    shown_ = active;
    Hooks(active);
    ShowDialogs(active);
}

bool nEditPlugin::IsShown() const {
    if (!shown_) return false;
    for (nHashNode* n = dialogs_.GetHead(); n; n = static_cast<nHashNode*>(n->GetSucc())) {
        if (ui::ToolWindow* w = static_cast<nScriptEditDlg*>(n)->GetWindow(); w && w->IsVisible()) return true;
    }
    return false;
}

void nEditPlugin::ShowDialogs(bool show) {
    for (nHashNode* n = dialogs_.GetHead(); n; n = static_cast<nHashNode*>(n->GetSucc())) {
        ui::ToolWindow* w = static_cast<nScriptEditDlg*>(n)->GetWindow();
        if (!w) continue;
        if (show) w->Show();
        else w->Hide();
    }
}

void nEditPlugin::Minimize() {
    for (nHashNode* n = dialogs_.GetHead(); n; n = static_cast<nHashNode*>(n->GetSucc())) {
        if (ui::ToolWindow* w = static_cast<nScriptEditDlg*>(n)->GetWindow()) w->Minimise();
    }
}

void nEditPlugin::AddContext(const char* path) {
    nTreeView* tv = TreeView();
    if (!tv) return;
    nRoot* object = path ? nKernelServer::ks->Lookup(path) : nullptr;
    if (!object || !Edits(object)) return;
    nContextMenuItem* entry = tv->ContextAdd(EntryName());
    if (entry) entry->Place(entry->GetX(), entry->GetY(), 100, 20);
}

nScriptEditDlg* nEditPlugin::FindDialog(const char* path) const {
    return path ? static_cast<nScriptEditDlg*>(dialogs_.Find(path)) : nullptr;
}

int nEditPlugin::GetNumDialogs() const {
    int n = 0;
    for (nHashNode* d = dialogs_.GetHead(); d; d = static_cast<nHashNode*>(d->GetSucc())) n++;
    return n;
}

bool nEditPlugin::Open(const char* path) {
    nKernelServer* ks = nKernelServer::ks;
    nRoot* object = path ? ks->Lookup(path) : nullptr;
    if (!object) {
        ks->Print("%s: '%s' names no object to open\n", GetFullName().c_str(), path ? path : "");
        return false;
    }
    if (!Edits(object)) {
        ks->Print("%s: '%s' is no object this editor opens\n", GetFullName().c_str(), path);
        return false;
    }
    const std::string key = object->GetFullName();
    if (nScriptEditDlg* open = FindDialog(key.c_str())) {
        if (shown_ && open->GetWindow()) open->GetWindow()->BringToFront();
        return true;
    }
    auto* dialog = new nScriptEditDlg(GetUiHost(), ks->GetFileServer(), key.c_str());
    dialog->Load(TextOf(object));
    dialog->commandHandler = [this, dialog](nWinCommandEvent& event) {
        if (event.command != nScriptEditDlg::Run) return;
        // The object may have gone since the dialog opened: looked up by its path.
        Run(dialog, nKernelServer::ks->Lookup(dialog->GetName()));
    };
    if (Completes()) {
        dialog->completionHandler = [this, dialog](nWinCommandEvent&, const std::string& word) {
            nRoot* o = nKernelServer::ks->Lookup(dialog->GetName());
            if (o) dialog->ShowCompletion(word, CompletionList(o));
        };
    }
    dialogs_.AddTail(dialog);
    if (ui::ToolWindow* w = dialog->GetWindow()) {
        if (shown_) w->BringToFront();
        else w->Hide();
    }
    return true;
}
