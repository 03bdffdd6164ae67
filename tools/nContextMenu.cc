#include "tools/nContextMenu.h"

#include <algorithm>
#include <cstring>

#include "platform/ui/Host.h"
#include "platform/ui/ToolWindow.h"

nContextMenu::nContextMenu(ui::Host* host, const char* className)
    : host_(host), className_(className ? className : "") {
    if (host_) {
        window_ = host_->MakePopup(className_, width_, height_);
        window_->onCommand = [this](int button) { Picked(button); };
    }
}

nContextMenu::~nContextMenu() {
    DeleteAll();
}

nContextMenuItem* nContextMenu::FindItem(const char* name) const {
    if (!name) return nullptr;
    for (const auto& e : entries_) {
        if (std::strcmp(e->GetName(), name) == 0) return e.get();
    }
    return nullptr;
}

nContextMenuItem* nContextMenu::GetItem(int index) const {
    if (index < 0 || index >= GetNumItems()) return nullptr;
    return entries_[size_t(index)].get();
}

nContextMenuItem* nContextMenu::AddItem(const char* name) {
    if (nContextMenuItem* existing = FindItem(name)) return existing;
    const int button = window_ ? window_->AddButton(name ? name : "", 0, 0, 60, 20) : 0;
    entries_.push_back(std::make_unique<nContextMenuItem>(this, name, button));
    Layout();
    return entries_.back().get();
}

void nContextMenu::DeleteItem(const char* name) {
    nContextMenuItem* entry = FindItem(name);
    if (!entry) return;
    entries_.erase(std::find_if(entries_.begin(), entries_.end(), [entry](const auto& e) { return e.get() == entry; }));
    Layout();
}

void nContextMenu::DeleteAll() {
    entries_.clear();
}

void nContextMenu::Layout() {
    // Entries stack in 64 bits; a menu taller than the int range stops growing there.
    int64_t sum = 0;
    for (const auto& e : entries_) {
        const int y = int(std::min<int64_t>(sum, INT32_MAX));
        if (e->GetX() != 0 || e->GetY() != y || e->GetWidth() != width_) e->Place(0, y, width_, e->GetHeight());
        sum += e->GetHeight();
    }
    const int y = int(std::min<int64_t>(sum, INT32_MAX));
    if (y != height_) {
        height_ = y;
        if (window_) window_->SetSize(width_, height_);
    }
}

void nContextMenu::ShowAtPointer() {
    int x = x_;
    int y = y_;
    if (host_) host_->GetPointerPosition(x, y);
    ShowAt(x, y);
}

void nContextMenu::ShowAt(int x, int y) {
    x_ = x;
    y_ = y;
    if (!window_) return;
    window_->SetSize(width_, height_);
    window_->ShowAt(x, y);
}

void nContextMenu::Hide() {
    if (window_) window_->Hide();
}

void nContextMenu::SetOwner(const ui::ToolWindow* owner) {
    if (window_) window_->SetOwner(owner);
}

bool nContextMenu::IsShown() const {
    return window_ && window_->IsVisible();
}

void nContextMenu::Picked(int button) {
    // The entry by its button, not by its text: names need not fit a text buffer.
    nContextMenuItem* entry = nullptr;
    for (const auto& e : entries_) {
        if (e->GetButton() == button) entry = e.get();
    }
    if (!entry) return;
    const std::weak_ptr<int> alive = alive_;
    if (callback) callback(callbackContext, entry);
    if (!alive.expired()) Hide();
}
