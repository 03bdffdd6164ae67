#pragma once
// What the root editor and the script editor share: editor dialogs keyed by the edited
// object's path, and an entry in the tree view's context menu while active (the entry's
// event opens the object, the tree view's right click offers the entry).
#include <string>

#include "kernel/nHashList.h"
#include "tools/nPlugin.h"

class nScriptEditDlg;
class nTreeView;

class nEditPlugin : public nPlugin {
public:
    static constexpr const char* kTreeViewPath = "/sys/servers/plugin/treeview";

    // `entry`: the menu entry, "editroot" or "editscript".
    explicit nEditPlugin(const char* entry) : entry_(entry) {}
    ~nEditPlugin() override;

    void Initialize() override;
    void SetActive(bool active) override;
    void Minimize() override;
    // The editor has no window of its own: it shows while one of its dialogs does.
    bool IsShown() const override;

    // Offers the entry in the tree view's menu for the object at `path` (when it fits).
    void AddContext(const char* path);
    // Opens (or brings forward) the dialog of the object at `path`; false (logged) for a
    // path that names nothing or an object this editor does not edit.
    bool Open(const char* path);

    nScriptEditDlg* FindDialog(const char* path) const;
    int GetNumDialogs() const;
    bool IsRegistered() const { return registered_; }

protected:
    // Not virtual: the destructor takes the hooks down by it.
    const char* EntryName() const { return entry_; }
    virtual bool Edits(nRoot* object) const = 0;
    // The editor's text for the object.
    virtual std::string TextOf(nRoot* object) = 0;
    // "Ausführen": the dialog's text goes to the object (null when it is gone).
    virtual void Run(nScriptEditDlg* dialog, nRoot* object) = 0;
    // The completion handler's list for the object; no completion when it gives nothing.
    virtual bool Completes() const { return false; }
    virtual std::string CompletionList(nRoot*) { return {}; }

    nTreeView* TreeView() const;

private:
    void Hooks(bool on);
    void ShowDialogs(bool show);

    const char* entry_;
    nHashList dialogs_{16};
    bool shown_ = false;
    bool registered_ = false;
};
