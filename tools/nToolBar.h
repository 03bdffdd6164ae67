#pragma once
// The script editor's toolbar: button records keyed by command over the layer's tool
// button row, with the image list it shows and tooltips from the string table.
#include <functional>
#include <memory>

#include "kernel/nHashList.h"

namespace ui {
class ToolBar;
class ToolWindow;
}  // namespace ui

class nImageList;
class nToolBarButton;

class nToolBar {
public:
    nToolBar(ui::ToolWindow* parent, int controlId, nImageList* images);
    virtual ~nToolBar();
    nToolBar(const nToolBar&) = delete;
    nToolBar& operator=(const nToolBar&) = delete;

    // False (the bar unchanged) when a button of that command exists.
    bool AddButton(int image, int command, int tooltip);
    void AddSeparator();
    // Each does nothing for a command no button has.
    void Enable(int command);
    void Disable(int command);
    void SetState(int command, int state);
    void SetInfo(int command, int image);
    nToolBarButton* Find(int command) const;
    int GetControlId() const { return this->controlId; }
    ui::ToolWindow* GetParent() const { return this->parent; }
    nImageList* GetImageList() const { return this->images; }
    ui::ToolBar& GetBar() { return *this->bar; }
    // The tooltip text a button's request gets: its string resource (empty for none).
    std::string GetTooltipText(int command) const;

    // Builds the bar in its window (call from the window's content).
    void Build(ui::ToolWindow& window);

private:
    ui::ToolWindow* parent;
    int controlId;
    nImageList* images;
    nHashList buttons{16};
    std::unique_ptr<ui::ToolBar> bar;
};
