#pragma once
// The script editor window that the root and script editors open, one per edited object:
// a tool window with a menu, a toolbar and an editor control set up for Lua with the
// script vocabulary, and a note line for what the owner must tell the person. It does
// nothing with objects: its commands and completion requests go to the two handlers its
// owner installs. The record is a node of its owner's named list (keyed by `name`, which
// the owner keeps at the object's path) and leaves it when deleted; closing the window
// deletes it.
#include <functional>
#include <memory>
#include <string>

#include "kernel/nHashNode.h"
#include "kernel/nRef.h"

namespace ui {
class EditorControl;
class Host;
class ToolWindow;
}  // namespace ui

class nFileServer2;
class nImageList;
class nMenu;
class nRoot;
class nSciControl;
class nToolBar;
class nWinCommandEvent;

class nScriptEditDlg : public nHashNode {
public:
    static constexpr int kEditorId = 1000;
    static constexpr int kDialogId = 107;
    static constexpr int kMenuId = 116;
    static constexpr int kToolBarId = 116;
    enum Command {
        Undo = 32910,
        Redo = 32908,
        Cut = 32906,
        Copy = 32905,
        Paste = 32907,
        Clear = 32821,
        Run = 32909,
    };

    // Builds the window hidden. Without a layer (null host) the record exists with no
    // window, and every control operation does nothing.
    nScriptEditDlg(ui::Host* host, nFileServer2* fileServer, const char* name);
    ~nScriptEditDlg() override;
    nScriptEditDlg(const nScriptEditDlg&) = delete;
    nScriptEditDlg& operator=(const nScriptEditDlg&) = delete;

    // The owner's handlers; either may be empty. The completion handler gets the word
    // before the caret. A handler may delete the dialog.
    std::function<void(nWinCommandEvent& event)> commandHandler;
    std::function<void(nWinCommandEvent& event, const std::string& word)> completionHandler;

    // Shows `list` (space-separated) for `word` unless a list shows; then selects the
    // entry the word starts.
    void ShowCompletion(const std::string& word, const std::string& list);
    // Shows `text` as the opened text: undo and redo start from it, their buttons off.
    void Load(const std::string& text);
    // A line above the text (UTF-8; empty: none), e.g. why "Ausführen" stored or ran nothing.
    void SetNote(const std::string& text) { this->note = text; }
    const std::string& GetNote() const { return this->note; }

    // The owner's: the object edited here, by a reference that clears when it dies (not
    // by its path, which a rename or a move changes), and whether the note says it is
    // gone. The dialog itself never reads them.
    nRef<nRoot> subject;
    bool subjectMissing = false;
    // A command of the menu or toolbar, as their clicks deliver it.
    void Command(int command);

    ui::ToolWindow* GetWindow() const { return this->window.get(); }
    nSciControl& GetEditor() { return *this->editor; }
    nToolBar& GetToolBar() { return *this->toolBar; }
    nMenu& GetMenu() { return *this->menu; }
    nImageList& GetImages() { return *this->toolImages; }
    int GetMarginX() const { return this->marginX; }
    int GetMarginY() const { return this->marginY; }
    // The editor control's size in pixels.
    int GetEditorWidth() const { return this->editorWidth; }
    int GetEditorHeight() const { return this->editorHeight; }

private:
    void SetUpEditor();
    void UpdateStates();
    void OnCharAdded(int character);
    void Build(ui::ToolWindow& window);

    std::unique_ptr<ui::ToolWindow> window;
    std::unique_ptr<ui::EditorControl> control;
    std::unique_ptr<nSciControl> editor;
    std::unique_ptr<nImageList> toolImages;
    std::unique_ptr<nToolBar> toolBar;
    std::unique_ptr<nMenu> menu;
    int editorId = kEditorId;
    int marginX = 0;
    int marginY = 0;
    int editorWidth = 0;
    int editorHeight = 0;
    int seenWidth = 0;
    int seenHeight = 0;
    std::string note;
    std::string note8;  // the note as drawn
};
