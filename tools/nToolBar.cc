#include "tools/nToolBar.h"

#include <string>

#include "platform/ui/Resources.h"
#include "platform/ui/ToolBar.h"
#include "tools/nToolBarButton.h"

nToolBar::nToolBar(ui::ToolWindow* parent, int controlId, nImageList* images)
    : parent(parent), controlId(controlId), images(images), bar(std::make_unique<ui::ToolBar>()) {
    this->bar->tooltipText = [this](int command) { return this->GetTooltipText(command); };
}

nToolBar::~nToolBar() {
    while (nHashNode* n = this->buttons.RemHead()) delete static_cast<nToolBarButton*>(n);
}

nToolBarButton* nToolBar::Find(int command) const {
    if (command == 0) return nullptr;
    auto* b = static_cast<nToolBarButton*>(this->buttons.Find(nToolBarButton::Key(command).c_str()));
    return b != nullptr && b->style == nToolBarButton::Button ? b : nullptr;
}

bool nToolBar::AddButton(int image, int command, int tooltip) {
    if (command == 0 || this->Find(command) != nullptr) return false;
    const char* text = ui::FindString(tooltip);
    if (!this->bar->AddButton(command, image, text != nullptr ? text : "")) return false;
    this->buttons.AddTail(new nToolBarButton(image, command, 4, nToolBarButton::Button, tooltip));
    return true;
}

void nToolBar::AddSeparator() {
    this->buttons.AddTail(new nToolBarButton(0, 0, 0, nToolBarButton::Separator, 0));
    this->bar->AddSeparator();
}

void nToolBar::Enable(int command) {
    this->SetState(command, ui::ToolBar::kEnabled);
}

void nToolBar::Disable(int command) {
    this->SetState(command, 0);
}

void nToolBar::SetState(int command, int state) {
    nToolBarButton* b = this->Find(command);
    if (b == nullptr) return;
    b->state = state;
    this->bar->SetState(command, state);
}

void nToolBar::SetInfo(int command, int image) {
    nToolBarButton* b = this->Find(command);
    if (b == nullptr) return;
    b->image = image;
    this->bar->SetImage(command, image);
}

std::string nToolBar::GetTooltipText(int command) const {
    const nToolBarButton* b = this->Find(command);
    const char* text = b != nullptr ? ui::FindString(b->tooltip) : nullptr;
    return text != nullptr ? text : "";
}

void nToolBar::Build(ui::ToolWindow& window) {
    this->bar->Build(window);
}
