#include "tools/nSciControl.h"

#include "platform/ui/EditorControl.h"
#include "platform/ui/Host.h"

ui::EditorControl* nSciControl::GetControl() const {
    if (this->host == nullptr || this->host->FindWindow(this->windowId) == nullptr) return nullptr;
    return this->control;
}

bool nSciControl::CanUndo() const {
    ui::EditorControl* c = this->GetControl();
    return c != nullptr && c->CanUndo();
}

void nSciControl::Undo() {
    if (ui::EditorControl* c = this->GetControl()) c->Undo();
}

bool nSciControl::CanRedo() const {
    ui::EditorControl* c = this->GetControl();
    return c != nullptr && c->CanRedo();
}

void nSciControl::Redo() {
    if (ui::EditorControl* c = this->GetControl()) c->Redo();
}

void nSciControl::Cut() {
    if (ui::EditorControl* c = this->GetControl()) c->Cut();
}

void nSciControl::Copy() {
    if (ui::EditorControl* c = this->GetControl()) c->Copy();
}

bool nSciControl::CanPaste() const {
    ui::EditorControl* c = this->GetControl();
    return c != nullptr && c->CanPaste();
}

void nSciControl::Paste() {
    if (ui::EditorControl* c = this->GetControl()) c->Paste();
}

void nSciControl::Clear() {
    if (ui::EditorControl* c = this->GetControl()) c->Clear();
}

int nSciControl::GetTextLength() const {
    ui::EditorControl* c = this->GetControl();
    return c != nullptr ? static_cast<int>(c->GetLength()) : 0;
}

std::string nSciControl::GetText() const {
    ui::EditorControl* c = this->GetControl();
    return c != nullptr ? c->GetText() : std::string();
}

void nSciControl::SetText(const char* text) {
    if (ui::EditorControl* c = this->GetControl()) c->SetText(text != nullptr ? text : "");
}

void nSciControl::SetKeywords(int set, const char* words) {
    if (ui::EditorControl* c = this->GetControl()) c->SetKeywords(set, words != nullptr ? words : "");
}

void nSciControl::SetLexer(int lexer) {
    if (ui::EditorControl* c = this->GetControl()) {
        c->SetLexer(lexer);
        c->SetStyleBits(7);
    }
}

void nSciControl::DefineMarker(int marker, int symbol, unsigned fore, unsigned back) {
    ui::EditorControl* c = this->GetControl();
    ui::EditorControl::Marker* m = c != nullptr ? c->GetMarker(marker) : nullptr;
    if (m == nullptr) return;
    m->symbol = symbol;
    m->fore = fore;
    m->back = back;
}

void nSciControl::SetFolding(bool on) {
    ui::EditorControl* c = this->GetControl();
    if (c == nullptr) return;
    c->SetProperty("fold", on ? "1" : "0");
    ui::EditorControl::Margin* margin = c->GetMargin(2);
    if (on) {
        c->SetFoldFlags(16);
        margin->type = 0;
        margin->width = 20;
        margin->mask = 0xFE000000u;
    }
    margin->sensitive = on;
}

void nSciControl::ShowCompletion(int typedLength, const std::string& list) {
    if (ui::EditorControl* c = this->GetControl()) c->ShowCompletion(typedLength, list);
}
