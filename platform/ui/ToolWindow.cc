#include "platform/ui/ToolWindow.h"

#include "platform/ui/Host.h"

#include <algorithm>
#include <utility>

namespace ui {

ToolWindow::ToolWindow(Host* host, int id, Kind kind, const std::string& name, int width, int height)
    : host(host), id(id), kind(kind), name(name), width(width), height(height)
{
    Host::ToUtf8(name, this->title);
    // The id after "###" names the window for ImGui, so equal names stay apart.
    this->title += "###ui" + std::to_string(id);
}

ToolWindow::~ToolWindow()
{
    if (this->host != nullptr) {
        this->host->HidePopupsOf(*this, this->visible);
        this->host->Unregister(this);
    }
}

void ToolWindow::Show(bool activate)
{
    if (!this->visible) {
        this->placeNext = true;
        this->sizeNext = true;
        this->quietNext = !activate;
    }
    this->visible = true;
    if (this->minimised) {
        this->minimised = false;
        this->collapseNext = true;
    }
}

void ToolWindow::Hide()
{
    const bool wasShown = this->visible;
    this->visible = false;
    if (this->host != nullptr) this->host->HidePopupsOf(*this, wasShown);
}

void ToolWindow::Minimise()
{
    this->minimised = true;
    this->collapseNext = true;
}

void ToolWindow::BringToFront()
{
    this->Show();
    this->focusNext = true;
}

void ToolWindow::ShowAt(int px, int py)
{
    this->SetPosition(px, py);
    this->Show();
}

void ToolWindow::SetOwner(const ToolWindow* owner)
{
    this->ownerId = owner != nullptr && owner->kind == Kind::Tool ? owner->id : 0;
}

void ToolWindow::SetPosition(int px, int py)
{
    this->x = px;
    this->y = py;
    this->placeNext = true;
}

void ToolWindow::SetSize(int w, int h)
{
    this->width = std::max(w, 1);
    this->height = std::max(h, 1);
    this->sizeNext = true;
}

int ToolWindow::AddButton(const std::string& text, int bx, int by, int bw, int bh)
{
    Button b{this->nextButton++, text, {}, bx, by, std::max(bw, 1), std::max(bh, 1)};
    Host::NameToUtf8(text, b.label);
    this->buttons.push_back(std::move(b));
    return this->buttons.back().id;
}

bool ToolWindow::MoveButton(int button, int bx, int by, int bw, int bh)
{
    Button* b = this->FindButton(button);
    if (b == nullptr) return false;
    b->x = bx;
    b->y = by;
    b->width = std::max(bw, 1);
    b->height = std::max(bh, 1);
    return true;
}

bool ToolWindow::SetButtonText(int button, const std::string& text)
{
    Button* b = this->FindButton(button);
    if (b == nullptr) return false;
    b->text = text;
    Host::NameToUtf8(text, b->label);
    return true;
}

bool ToolWindow::RemoveButton(int button)
{
    auto it = std::find_if(this->buttons.begin(), this->buttons.end(),
                           [button](const Button& b) { return b.id == button; });
    if (it == this->buttons.end()) return false;
    this->buttons.erase(it);
    return true;
}

void ToolWindow::RemoveAllButtons()
{
    this->buttons.clear();
}

const std::string* ToolWindow::GetButtonText(int button) const
{
    const Button* b = this->FindButton(button);
    return b != nullptr ? &b->text : nullptr;
}

bool ToolWindow::GetButtonScreenRect(int button, int& left, int& top, int& right, int& bottom) const
{
    const Button* b = this->FindButton(button);
    if (b == nullptr || !b->drawn) return false;
    left = static_cast<int>(b->left);
    top = static_cast<int>(b->top);
    right = static_cast<int>(b->right);
    bottom = static_cast<int>(b->bottom);
    return true;
}

void ToolWindow::Defer(std::function<void()> work)
{
    if (this->host != nullptr) {
        this->host->Defer(this->id, std::move(work));
    }
}

ToolWindow::Button* ToolWindow::FindButton(int button)
{
    for (Button& b : this->buttons) {
        if (b.id == button) return &b;
    }
    return nullptr;
}

const ToolWindow::Button* ToolWindow::FindButton(int button) const
{
    for (const Button& b : this->buttons) {
        if (b.id == button) return &b;
    }
    return nullptr;
}

}  // namespace ui
