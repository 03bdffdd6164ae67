#include "tools/nMenu.h"

#include "platform/ui/MenuBar.h"
#include "platform/ui/ToolWindow.h"

nMenu::nMenu(ui::ToolWindow* window, int menuId) : window(window), menu(std::make_unique<ui::MenuBar>()) {
    // The resource's one menu is titled "Options".
    this->loaded = this->menu->Load(menuId, "Options");
    if (this->loaded && window != nullptr) {
        ui::MenuBar* bar = this->menu.get();
        window->menuBar = [bar](ui::ToolWindow& w) { bar->Build(w); };
    }
}

nMenu::~nMenu() {
    if (this->loaded && this->window != nullptr) this->window->menuBar = nullptr;
}

void nMenu::Check(int command) {
    this->menu->Check(command, true);
}

void nMenu::Uncheck(int command) {
    this->menu->Check(command, false);
}

void nMenu::Enable(int command) {
    this->menu->Enable(command, true);
}

void nMenu::Gray(int command) {
    this->menu->Enable(command, false);
}
