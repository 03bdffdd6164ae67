#include "tools/nEditPlugin.h"

#include "kernel/nKernelServer.h"
#include "kernel/nRef.h"
#include "platform/ui/ToolWindow.h"
#include "script/nLuaWriter.h"
#include "tools/nContextMenuItem.h"
#include "tools/nSciControl.h"
#include "tools/nScriptEditDlg.h"
#include "tools/nTreeView.h"
#include "tools/nWinCommandEvent.h"

namespace {

// What the window says while the object is out of the tree (UTF-8).
std::string GoneNote(const char* path) {
    return std::string("'") + path +
           "' ist nicht mehr im Objektbaum (gel\xc3\xb6scht oder ausgeschnitten): der Text bleibt hier und wird "
           "weder ausgef\xc3\xbchrt noch gespeichert.";
}

}  // namespace

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
    if (active) Follow();
    ShowDialogs(active);
}

bool nEditPlugin::Trigger() {
    Follow();
    return true;
}

nRoot* nEditPlugin::Subject(const nScriptEditDlg* dialog) {
    nRoot* object = dialog ? dialog->subject.GetUnsafe() : nullptr;
    const nRoot* root = nKernelServer::ks->GetRoot();
    for (const nRoot* o = object; o; o = o->GetParent()) {
        if (o == root) return object;
    }
    return nullptr;
}

void nEditPlugin::Follow() {
    // Paths change only when an object joins a parent or is renamed.
    const uint64_t names = nRoot::GetNamesVersion();
    const bool moved = names != namesSeen_;
    namesSeen_ = names;
    for (nHashNode* n = dialogs_.GetHead(); n; n = n->GetSucc()) {
        auto* dialog = static_cast<nScriptEditDlg*>(n);
        nRoot* object = Subject(dialog);
        if (!object) {
            if (!dialog->subjectMissing) dialog->SetNote(GoneNote(dialog->GetName()));
            dialog->subjectMissing = true;
            continue;
        }
        if (dialog->subjectMissing) {
            dialog->subjectMissing = false;
            dialog->SetNote("");
        }
        if (!moved) continue;
        object->GetFullName(path_);
        if (path_ == dialog->GetName()) continue;
        from_ = dialog->GetName();
        dialog->SetName(path_.c_str());
        Moved(dialog, object, from_);
    }
}

void nEditPlugin::RefuseRun(nScriptEditDlg* dialog) {
    nKernelServer::ks->Print("%s: '%s' is no longer in the object tree (deleted, or cut and not pasted); its text "
                             "stays in its editor, neither run nor stored\n",
                             GetFullName().c_str(), dialog->GetName());
    dialog->subjectMissing = true;
    dialog->SetNote(GoneNote(dialog->GetName()));
}

bool nEditPlugin::IsShown() const {
    if (!shown_) return false;
    for (nHashNode* n = dialogs_.GetHead(); n; n = n->GetSucc()) {
        if (ui::ToolWindow* w = static_cast<nScriptEditDlg*>(n)->GetWindow(); w && w->IsVisible()) return true;
    }
    return false;
}

void nEditPlugin::ShowDialogs(bool show) {
    for (nHashNode* n = dialogs_.GetHead(); n; n = n->GetSucc()) {
        ui::ToolWindow* w = static_cast<nScriptEditDlg*>(n)->GetWindow();
        if (!w) continue;
        if (show) w->Show();
        else w->Hide();
    }
}

void nEditPlugin::Minimize() {
    for (nHashNode* n = dialogs_.GetHead(); n; n = n->GetSucc()) {
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
    nRoot* object = path ? nKernelServer::ks->Lookup(path) : nullptr;
    if (!object) return nullptr;
    for (nHashNode* n = dialogs_.GetHead(); n; n = n->GetSucc()) {
        if (static_cast<nScriptEditDlg*>(n)->subject.GetUnsafe() == object) return static_cast<nScriptEditDlg*>(n);
    }
    return nullptr;
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
    Follow();
    if (nScriptEditDlg* open = FindDialog(path)) {
        if (shown_ && open->GetWindow()) open->GetWindow()->BringToFront();
        return true;
    }
    auto* dialog = new nScriptEditDlg(GetUiHost(), ks->GetFileServer(), object->GetFullName().c_str());
    dialog->subject = object;
    dialog->Load(TextOf(object));
    dialog->commandHandler = [this, dialog](nWinCommandEvent& event) {
        if (event.command != nScriptEditDlg::Run) return;
        // The object itself, wherever renames and moves took it since the dialog opened.
        nRoot* object = Subject(dialog);
        if (!object) {
            RefuseRun(dialog);
            return;
        }
        const nRef<nRoot> self(this);
        Run(dialog, object);
        // The text may have renamed or moved its object, or deleted this editor.
        if (self.IsValid()) Follow();
    };
    if (Completes()) {
        dialog->completionHandler = [this, dialog](nWinCommandEvent&, const std::string& word) {
            if (nRoot* o = Subject(dialog)) dialog->ShowCompletion(word, CompletionList(o));
        };
    }
    dialogs_.AddTail(dialog);
    if (ui::ToolWindow* w = dialog->GetWindow()) {
        if (shown_) w->BringToFront();
        else w->Hide();
    }
    return true;
}
