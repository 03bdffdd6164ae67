#include "platform/ui/ToolBar.h"

#include <imgui.h>

#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"

namespace ui {

bool ToolBar::AddButton(int command, int image, const std::string& tooltip)
{
    if (command == 0 || this->Find(command) != nullptr) return false;
    this->buttons.push_back({command, image, kEnabled, tooltip});
    return true;
}

void ToolBar::AddSeparator()
{
    this->buttons.push_back({0, -1, 0, {}});
}

bool ToolBar::SetState(int command, int state)
{
    Button* b = this->Find(command);
    if (b == nullptr) return false;
    b->state = state;
    return true;
}

bool ToolBar::SetImage(int command, int image)
{
    Button* b = this->Find(command);
    if (b == nullptr) return false;
    b->image = image;
    return true;
}

int ToolBar::GetState(int command) const
{
    const Button* b = this->Find(command);
    return b != nullptr ? b->state : -1;
}

int ToolBar::GetCommand(int index) const
{
    return index >= 0 && index < this->GetCount() ? this->buttons[static_cast<size_t>(index)].command : -1;
}

const std::string* ToolBar::GetTooltip(int command) const
{
    const Button* b = this->Find(command);
    return b != nullptr ? &b->tooltip : nullptr;
}

bool ToolBar::GetButtonScreenRect(int command, float& left, float& top) const
{
    const Button* b = this->Find(command);
    if (b == nullptr || !b->drawn) return false;
    left = b->left;
    top = b->top;
    return true;
}

ToolBar::Button* ToolBar::Find(int command)
{
    if (command == 0) return nullptr;
    for (Button& b : this->buttons) {
        if (b.command == command) return &b;
    }
    return nullptr;
}

const ToolBar::Button* ToolBar::Find(int command) const
{
    return const_cast<ToolBar*>(this)->Find(command);
}

void ToolBar::Build(ToolWindow& window, const std::function<std::string(int image)>& imageLabel)
{
    this->shownTooltip.clear();
    ImDrawList* list = ImGui::GetWindowDrawList();
    const float size = static_cast<float>(kButtonSize);
    ImGui::PushID("toolbar");
    for (size_t i = 0; i < this->buttons.size(); i++) {
        Button& b = this->buttons[i];
        if (i > 0) ImGui::SameLine(0.0f, 2.0f);
        if (b.command == 0) {
            const ImVec2 p = ImGui::GetCursorScreenPos();
            ImGui::Dummy(ImVec2(6.0f, size));
            list->AddLine(ImVec2(p.x + 3.0f, p.y + 2.0f), ImVec2(p.x + 3.0f, p.y + size - 2.0f),
                          IM_COL32(128, 128, 128, 255));
            continue;
        }
        ImGui::PushID(b.command);
        const bool enabled = (b.state & kEnabled) != 0;
        const ImVec2 p0 = ImGui::GetCursorScreenPos();
        const bool clicked = ImGui::InvisibleButton("button", ImVec2(size, size));
        const bool hovered = ImGui::IsItemHovered();
        ImGui::PopID();
        b.left = p0.x;
        b.top = p0.y;
        b.drawn = true;
        const ImVec2 p1(p0.x + size, p0.y + size);
        if (hovered && enabled) list->AddRectFilled(p0, p1, IM_COL32(244, 242, 236, 255));
        list->AddRect(p0, p1, IM_COL32(160, 160, 160, 255));
        if (imageLabel) {
            std::string label;
            Host::ToUtf8(imageLabel(b.image), label);
            list->AddText(ImVec2(p0.x + 4.0f, p0.y + 5.0f),
                          enabled ? IM_COL32(0, 0, 0, 255) : IM_COL32(160, 160, 160, 255), label.data(),
                          label.data() + label.size());
        }
        if (hovered) {
            // The tooltip is asked for when it shows, as a tooltip request would.
            const std::string text = this->tooltipText ? this->tooltipText(b.command) : b.tooltip;
            Host::ToUtf8(text, this->shownTooltip);
            ImGui::BeginTooltip();
            ImGui::TextUnformatted(this->shownTooltip.data(), this->shownTooltip.data() + this->shownTooltip.size());
            ImGui::EndTooltip();
        }
        if (clicked && enabled) {
            const int command = b.command;
            ToolBar* self = this;
            window.Defer([self, command] {
                if (self->onClick) {
                    std::function<void(int)> handler = self->onClick;
                    handler(command);
                }
            });
        }
    }
    ImGui::PopID();
}

}  // namespace ui
