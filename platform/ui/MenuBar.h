#pragma once
// A tool window's menu bar made from a menu resource: one menu of entries (commands and
// separators) that can be enabled, grayed and checked. A pick reaches the owner after
// the frame.
#include <functional>
#include <string>
#include <vector>

namespace ui {

class ToolWindow;

class MenuBar {
public:
    // Loads menu `menuId` with the menu's title; false (logged) for an unknown id.
    bool Load(int menuId, const std::string& title);
    // False for a command no entry has.
    bool Enable(int command, bool enabled);
    bool Check(int command, bool checked);
    bool IsEnabled(int command) const;
    bool IsChecked(int command) const;
    int GetCount() const { return static_cast<int>(this->entries.size()); }
    // The i-th entry's command (0 for a separator) and text; -1 and null out of range.
    int GetCommand(int index) const;
    const std::string* GetText(int index) const;
    const std::string& GetTitle() const { return this->title; }

    std::function<void(int command)> onCommand;

    // Builds the menu inside the window's menu bar (ToolWindow::menuBar).
    void Build(ToolWindow& window);

private:
    struct Entry {
        int command;
        std::string text;
        std::string label;  // UTF-8
        bool enabled = true;
        bool checked = false;
    };
    Entry* Find(int command);
    std::vector<Entry> entries;
    std::string title;
    std::string titleLabel;
};

}  // namespace ui
