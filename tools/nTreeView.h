#pragma once
// The object tree view (script class "ntreeview", at "/sys/servers/plugin/treeview"): a
// subtree of the object space in the tool window "TreeView", one item an object with its
// class's icon. Clicks, renames and selections fire the plugin's events with the object's
// path; a right click opens a menu of "delete", "cut", "copy", "paste" and the entries
// that scripts or the editors add. A selection makes the object the console's current
// object, and the view follows the console's current object in turn.
#include <memory>
#include <string>
#include <vector>

#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "tools/nPlugin.h"

class nConServer;
class nContextMenu;
class nContextMenuItem;
class nImageList;
class nTreeItem;
namespace ui {
class ToolWindow;
class TreeControl;
}  // namespace ui

class nTreeView : public nPlugin {
public:
    static const nClassInfo classInfo;
    static constexpr int kDialogId = 101;
    static constexpr int kTreeControlId = 1051;
    static constexpr unsigned kTextColour = 0x505050;
    static constexpr unsigned kBackColour = 0xDCDCDC;
    // Rows of class icons: a bitmap and the ";"-separated class names that show it.
    struct IconRow {
        int bitmap;
        const char* classes;
    };
    static const IconRow kIconRows[];
    static const int kNumIconRows;

    nTreeView();
    ~nTreeView() override;

    void SetActive(bool active) override;
    void Minimize() override;
    // Every 2 s of the tools' own time a Refresh; then follows the console's current object.
    bool Trigger() override;

    // Colours are packed r + g * 256 + b * 65536.
    virtual void SetBackColor(unsigned colour);
    virtual unsigned GetBackColor() const;
    virtual void SetTextColor(unsigned colour);
    virtual unsigned GetTextColor() const;
    // A path other than the present one: the items are built anew from its object.
    virtual void SetRootNode(const char* path);
    virtual const char* GetRootNode() const;
    virtual ui::TreeControl* GetTreeControl();
    // The menu entry of that name (made when missing, default size).
    virtual nContextMenuItem* ContextAdd(const char* name);
    virtual void ContextDel(const char* name);
    // The entry sized (position kept) and `function` bound to the event of its name.
    void ContextAddSized(const char* name, int width, int height, const char* function);

    // Items follow the objects: renamed or gone objects lose their items, new ones gain one.
    void Refresh();
    // The path of an item; empty for none.
    std::string GetItemPath(int handle) const;
    // The item that shows the object at `path`; 0 for none.
    int FindItem(const char* path) const;
    // The image of a class (its own name only): the first row that names it, else 0.
    int GetClassImage(const char* className) const;
    nImageList* GetImageList() const { return imageList_.get(); }
    nContextMenu* GetContextMenu() const { return contextMenu_.get(); }
    ui::ToolWindow* GetWindow() const { return window_.get(); }
    nTreeItem* GetRootItem() const { return rootItem_.get(); }
    const std::string& GetSelectedPath() const { return selectedPath_; }
    nRoot* GetCutObject() const { return cutObject_.GetUnsafe(); }

    // What the tree control notifies, by item handle; the label text null when cancelled.
    void OnLabelEditEnd(int handle, const std::string* text);
    void OnSelectionChanged(int handle);
    void OnRightClick(int handle);
    void OnClick(int handle, bool twice);
    // The entry the user picked in the menu, by name.
    void MenuPicked(const char* entry);

private:
    void Build(nTreeItem* parent, nRoot* object);
    void Sync(nTreeItem* item, nRoot* object);
    nTreeItem* ItemOf(int handle) const;
    nRoot* ObjectOf(int handle) const;
    bool Fire(const char* event, const std::string& path);
    nConServer* Console();
    // True (logged) when deleting or moving `object` would take "/", the view itself, an
    // engine server (anything under "/sys/servers", or what holds it) or an assign the game
    // runs on (or what holds it); copying it, all but the assigns.
    bool Protected(nRoot* object, const char* action, bool assigns = true);
    // True (logged) for "/scripts" itself: the macro buttons follow it by its path, so a
    // rename or cut would leave the macros made after it without buttons and unsaved.
    bool KeptByPath(nRoot* object, const char* action);
    void Paste(nRoot* target);
    // Puts an object cut and never pasted back where it was cut from (logged, with `when`);
    // released only where that place is gone.
    void PutBackCut(const char* when);

    nPathRef<nConServer> refConsole_{"/sys/servers/console"};
    std::unique_ptr<ui::TreeControl> treeControl_;
    std::unique_ptr<ui::ToolWindow> window_;
    std::unique_ptr<nTreeItem> rootItem_;
    double lastRefresh_ = 0.0;
    std::unique_ptr<nImageList> imageList_;
    std::unique_ptr<nContextMenu> contextMenu_;
    std::string selectedPath_;
    std::string rootPath_ = "/";
    nRef<nRoot> cutObject_;
    nRef<nRoot> cutFrom_;  // where the cut object was, for the view's end
    nRef<nRoot> menuObject_;
    nRef<nRoot> copyRef_;
    nRef<nRoot> followed_;  // the console's current object as Trigger last saw it
    // The assigns that stood when the view was made: those start-up made, the game's own.
    std::vector<nRef<nRoot>> gameAssigns_;
    unsigned backColour_ = kBackColour;
    unsigned textColour_ = kTextColour;
    bool consoleMissingLogged_ = false;
};
