#pragma once
// What the root editor and the script editor share: editor dialogs of the objects they
// edit, each holding its object (not its path, which a rename or a move changes), and an
// entry in the tree view's context menu while active (the entry's event opens the object,
// the tree view's right click offers the entry).
#include <cstdint>
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
    // Follows the edited objects (below).
    bool Trigger() override;

    // Offers the entry in the tree view's menu for the object at `path` (when it fits).
    void AddContext(const char* path);
    // Opens (or brings forward) the dialog of the object at `path`; false (logged) for a
    // path that names nothing or an object this editor does not edit.
    bool Open(const char* path);

    // The dialog of the object at `path` now, wherever the object stood when it opened;
    // null when none is open for it.
    nScriptEditDlg* FindDialog(const char* path) const;
    int GetNumDialogs() const;
    bool IsRegistered() const { return registered_; }
    // Brings the dialogs' keys and the paths they show up to renames and moves of their
    // objects, and says in a dialog's window while its object is out of the tree (deleted,
    // or cut and not pasted). Each frame while active; costs a walk of the dialogs.
    void Follow();
    // The object the dialog edits while it stands in the tree, else null.
    static nRoot* Subject(const nScriptEditDlg* dialog);

protected:
    // Not virtual: the destructor takes the hooks down by it.
    const char* EntryName() const { return entry_; }
    virtual bool Edits(nRoot* object) const = 0;
    // The editor's text for the object.
    virtual std::string TextOf(nRoot* object) = 0;
    // "Ausführen": the dialog's text goes to the object, which stands in the tree.
    virtual void Run(nScriptEditDlg* dialog, nRoot* object) = 0;
    // The object moved from the path `from` to its path now (the dialog's key already).
    virtual void Moved(nScriptEditDlg*, nRoot*, const std::string& /*from*/) {}
    // The completion handler's list for the object; no completion when it gives nothing.
    virtual bool Completes() const { return false; }
    virtual std::string CompletionList(nRoot*) { return {}; }

    nTreeView* TreeView() const;

private:
    void Hooks(bool on);
    void ShowDialogs(bool show);
    // "Ausführen" on a dialog whose object is out of the tree: said in its window and the log.
    void RefuseRun(nScriptEditDlg* dialog);

    const char* entry_;
    nHashList dialogs_{16};
    bool shown_ = false;
    bool registered_ = false;
    uint64_t namesSeen_ = 0;
    std::string path_;  // Follow's scratch: no allocation once it fits
    std::string from_;
};
