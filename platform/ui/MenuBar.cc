#include "platform/ui/MenuBar.h"

#include <SDL2/SDL_log.h>
#include <imgui.h>

#include "platform/ui/Host.h"
#include "platform/ui/Resources.h"
#include "platform/ui/ToolWindow.h"

namespace ui {

bool MenuBar::Load(int menuId, const std::string& menuTitle)
{
    int count = 0;
    const MenuEntry* menu = FindMenu(menuId, count);
    if (menu == nullptr) {
        SDL_Log("ui::MenuBar: no menu %d", menuId);
        return false;
    }
    this->entries.clear();
    for (int i = 0; i < count; i++) {
        Entry e{menu[i].command, menu[i].text, {}};
        Host::ToUtf8(e.text, e.label);
        this->entries.push_back(std::move(e));
    }
    this->title = menuTitle;
    Host::ToUtf8(menuTitle, this->titleLabel);
    return true;
}

MenuBar::Entry* MenuBar::Find(int command)
{
    if (command == 0) return nullptr;
    for (Entry& e : this->entries) {
        if (e.command == command) return &e;
    }
    return nullptr;
}

bool MenuBar::Enable(int command, bool enabled)
{
    Entry* e = this->Find(command);
    if (e == nullptr) return false;
    e->enabled = enabled;
    return true;
}

bool MenuBar::Check(int command, bool checked)
{
    Entry* e = this->Find(command);
    if (e == nullptr) return false;
    e->checked = checked;
    return true;
}

bool MenuBar::IsEnabled(int command) const
{
    const Entry* e = const_cast<MenuBar*>(this)->Find(command);
    return e != nullptr && e->enabled;
}

bool MenuBar::IsChecked(int command) const
{
    const Entry* e = const_cast<MenuBar*>(this)->Find(command);
    return e != nullptr && e->checked;
}

int MenuBar::GetCommand(int index) const
{
    return index >= 0 && index < this->GetCount() ? this->entries[static_cast<size_t>(index)].command : -1;
}

const std::string* MenuBar::GetText(int index) const
{
    return index >= 0 && index < this->GetCount() ? &this->entries[static_cast<size_t>(index)].text : nullptr;
}

void MenuBar::Build(ToolWindow& window)
{
    ImGui::PushID(this);
    // The title drawn as it is: "##" in it hides nothing.
    const std::string label = this->titleLabel + "###menu";
    if (ImGui::BeginMenu(label.c_str())) {
        for (size_t i = 0; i < this->entries.size(); i++) {
            const Entry& e = this->entries[i];
            if (e.command == 0) {
                ImGui::Separator();
                continue;
            }
            ImGui::PushID(static_cast<int>(i));
            const std::string item = e.label + "###item";
            if (ImGui::MenuItem(item.c_str(), nullptr, e.checked, e.enabled)) {
                const int command = e.command;
                MenuBar* self = this;
                window.Defer([self, command] {
                    if (self->onCommand) {
                        std::function<void(int)> handler = self->onCommand;
                        handler(command);
                    }
                });
            }
            ImGui::PopID();
        }
        ImGui::EndMenu();
    }
    ImGui::PopID();
}

}  // namespace ui
