#include "tools/nScriptEditDlg.h"

#include <imgui.h>

#include <algorithm>

#include "platform/ui/EditorControl.h"
#include "platform/ui/Host.h"
#include "platform/ui/MenuBar.h"
#include "platform/ui/Resources.h"
#include "platform/ui/ToolBar.h"
#include "platform/ui/ToolWindow.h"
#include "tools/nEditorStyle.h"
#include "tools/nImageList.h"
#include "tools/nMenu.h"
#include "tools/nSciControl.h"
#include "tools/nToolBar.h"
#include "tools/nWinCommandEvent.h"

namespace {

constexpr const char* kKeywords =
    "and break do else elseif end for function if in local nil not or repeat return then until while "
    "sel up obj n_new float int string object self";

// The style table: style number, fore colour, font, bold / italic.
struct StyleRow {
    int style;
    unsigned fore;
    const char* font;
    int size;
    int flags;
};
constexpr StyleRow kStyles[] = {
    {0, 0x000000, "Verdana", 10, 0},
    {1, 0x074F2D, "Verdana", 10, nEditorStyle::Italic},
    {2, 0x074F2D, "Verdana", 10, nEditorStyle::Italic},
    {3, 0x074F2D, "Verdana", 10, nEditorStyle::Italic},
    {4, 0x001FFF, "Courier", 10, 0},
    {5, 0xFF0000, "Courier", 10, 0},
    {6, 0x800000, "Courier", 10, 0},
    {7, 0x800000, "Courier", 10, 0},
    {8, 0x000000, "Courier", 10, 0},
    {9, 0x4696FF, "Courier", 10, 0},
    {10, 0x000000, "Courier", 10, nEditorStyle::Bold},
    {11, 0x505050, "Courier", 10, 0},
    {12, 0x000000, "Courier", 10, 0},
};

// The toolbar's images in order (image 0 to 5).
constexpr int kToolBitmaps[] = {110, 113, 114, 111, 112, 115};

// Fold markers: number, symbol, fore, back.
struct MarkerRow {
    int marker;
    int symbol;
    unsigned fore;
    unsigned back;
};
constexpr MarkerRow kMarkers[] = {
    {31, 6, 0xD2D2D2, 0x000000}, {30, 2, 0xD2D2D2, 0x000000}, {29, 5, 0x000000, 0x000000},
    {28, 5, 0x000000, 0x000000}, {25, 5, 0xFFFFFF, 0x000000}, {26, 5, 0xFFFFFF, 0x000000},
    {27, 5, 0xFFFFFF, 0x000000},
};

// The toolbar's short labels for images 0 to 5 while the layer draws no pictures.
const char* const kImageLabels[] = {"<", ">", "X", "C", "V", "!"};

}  // namespace

nScriptEditDlg::nScriptEditDlg(ui::Host* host, nFileServer2* fileServer, const char* name)
    : nHashNode(name != nullptr ? name : "") {
    // 1. The window, hidden, with the record behind it.
    this->window = host != nullptr ? host->MakeDialog(kDialogId) : nullptr;
    if (this->window != nullptr) {
        this->window->SetUserData(this);
        this->window->Hide();
    }
    this->control = std::make_unique<ui::EditorControl>(host);
    this->editor = std::make_unique<nSciControl>(host, this->window != nullptr ? this->window->GetId() : 0,
                                                 this->control.get(), kEditorId);
    // 2. to 5. The editor.
    this->SetUpEditor();

    // 6. The toolbar.
    this->toolImages = std::make_unique<nImageList>(fileServer, 0xFF0000u);
    for (int id : kToolBitmaps) this->toolImages->AddBitmap(id, "null");
    this->toolImages->Build();
    this->toolBar = std::make_unique<nToolBar>(this->window.get(), kToolBarId, this->toolImages.get());
    this->toolBar->AddButton(0, Undo, 120);
    this->toolBar->AddButton(1, Redo, 121);
    this->toolBar->AddSeparator();
    this->toolBar->AddButton(2, Cut, 118);
    this->toolBar->AddButton(3, Copy, 123);
    this->toolBar->AddButton(4, Paste, 119);
    this->toolBar->AddSeparator();
    this->toolBar->AddButton(5, Run, 122);
    this->toolBar->Disable(Undo);
    this->toolBar->Disable(Redo);
    this->toolBar->Disable(Paste);

    // 7. The menu and the margins kept for resizing.
    this->menu = std::make_unique<nMenu>(this->window.get(), kMenuId);
    const ui::DialogResource* dialog = ui::FindDialog(kDialogId);
    this->editorWidth = ui::DialogUnitsToPixelsX(408);
    this->editorHeight = ui::DialogUnitsToPixelsY(206);
    if (this->window != nullptr && dialog != nullptr) {
        // From the dialog's own size: a window made smaller to fit the display has the
        // editor fitted at its first frame.
        const int width = ui::DialogUnitsToPixelsX(dialog->width), height = ui::DialogUnitsToPixelsY(dialog->height);
        this->marginX = width - this->editorWidth + 25;
        this->marginY = height - this->editorHeight + 25;
        this->seenWidth = width;
        this->seenHeight = height;
    }

    if (this->window != nullptr) {
        this->toolBar->GetBar().onClick = [this](int command) { this->Command(command); };
        this->menu->GetMenu().onCommand = [this](int command) { this->Command(command); };
        this->window->content = [this](ui::ToolWindow& w) { this->Build(w); };
        // Closing deletes the record (after the frame, when that is safe).
        this->window->onClose = [this] { delete this; };
    }
    this->control->onCharAdded = [this](int character) { this->OnCharAdded(character); };
    this->control->onModified = [this] { this->UpdateStates(); };
    this->control->onMarginClick = [this](int margin, size_t position) {
        if (margin == 2) this->control->ToggleFold(this->control->LineFromPosition(position));
    };
}

nScriptEditDlg::~nScriptEditDlg() {
    Remove();
    this->menu.reset();
    this->toolImages.reset();
    this->toolBar.reset();
    this->editor.reset();
    if (this->window != nullptr) {
        this->window->content = nullptr;
        this->window->onClose = nullptr;
    }
    this->window.reset();
    this->control.reset();
}

void nScriptEditDlg::SetUpEditor() {
    nSciControl& e = *this->editor;
    ui::EditorControl* c = e.GetControl();
    if (c == nullptr) return;
    c->EmptyUndoBuffer();
    e.SetLexer(15);
    e.SetKeywords(0, kKeywords);
    // 3. The default style first, folding right after it, then the others.
    nEditorStyle(0x00FF00, 0xFFFFFF, 8, "Verdana", 0).Apply(e, 32);
    e.SetFolding(true);
    for (const StyleRow& row : kStyles) {
        nEditorStyle(row.fore, 0xFFFFFF, row.size, row.font, row.flags).Apply(e, row.style);
    }
    // 4. Fold markers.
    for (const MarkerRow& row : kMarkers) e.DefineMarker(row.marker, row.symbol, row.fore, row.back);
    // 5. Completion, line numbers, indentation guides.
    c->SetCompletionAutoHide(false);
    c->SetCompletionIgnoreCase(true);
    ui::EditorControl::Margin* numbers = c->GetMargin(1);
    numbers->type = 1;
    numbers->width = 30;
    numbers->sensitive = true;
    c->SetIndentationGuides(true);
}

void nScriptEditDlg::UpdateStates() {
    nSciControl& e = *this->editor;
    const bool undo = e.CanUndo();
    const bool redo = e.CanRedo();
    const bool paste = e.CanPaste();
    undo ? this->toolBar->Enable(Undo) : this->toolBar->Disable(Undo);
    redo ? this->toolBar->Enable(Redo) : this->toolBar->Disable(Redo);
    paste ? this->toolBar->Enable(Paste) : this->toolBar->Disable(Paste);
    undo ? this->menu->Enable(Undo) : this->menu->Gray(Undo);
    redo ? this->menu->Enable(Redo) : this->menu->Gray(Redo);
    paste ? this->menu->Enable(Paste) : this->menu->Gray(Paste);
}

void nScriptEditDlg::OnCharAdded(int character) {
    ui::EditorControl* c = this->editor->GetControl();
    if (c == nullptr || !c->IsCtrlHeld() || character != ' ' || !this->completionHandler) return;
    c->DeleteBack();
    const size_t caret = c->GetCaret();
    const std::string word = c->GetTextRange(c->WordStartPosition(caret), caret);
    // The request comes from the control, as its notification would.
    nWinCommandEvent event(this->window.get(), nWinCommandEvent::kCommandMessage, this->editorId);
    std::function<void(nWinCommandEvent&, const std::string&)> handler = this->completionHandler;
    handler(event, word);
}

void nScriptEditDlg::ShowCompletion(const std::string& word, const std::string& list) {
    ui::EditorControl* c = this->editor->GetControl();
    if (c == nullptr) return;
    if (!c->IsCompletionActive()) {
        // Picking an entry replaces the typed word only, nothing before it.
        c->ShowCompletion(static_cast<int>(word.size()), list);
    }
    c->SelectCompletion(word);
}

void nScriptEditDlg::Load(const std::string& text) {
    ui::EditorControl* c = this->editor->GetControl();
    if (c == nullptr) return;
    c->SetText(text);
    c->EmptyUndoBuffer();
    this->UpdateStates();
}

void nScriptEditDlg::Command(int command) {
    nSciControl& e = *this->editor;
    switch (command) {
        case Undo:
            if (e.CanUndo()) e.Undo();
            break;
        case Redo:
            if (e.CanRedo()) e.Redo();
            break;
        case Cut: e.Cut(); break;
        case Copy: e.Copy(); break;
        case Paste:
            if (e.CanPaste()) e.Paste();
            break;
        case Clear: e.Clear(); break;
        default: break;
    }
    if (this->commandHandler) {
        nWinCommandEvent event(this->window.get(), nWinCommandEvent::kCommandMessage, command);
        // A copy: the handler may delete the dialog.
        std::function<void(nWinCommandEvent&)> handler = this->commandHandler;
        handler(event);
    }
}

void nScriptEditDlg::Build(ui::ToolWindow& w) {
    // A new window size keeps the margins around the control.
    if (w.GetWidth() != this->seenWidth || w.GetHeight() != this->seenHeight) {
        this->seenWidth = w.GetWidth();
        this->seenHeight = w.GetHeight();
        this->editorWidth = std::max(1, this->seenWidth - this->marginX);
        this->editorHeight = std::max(1, this->seenHeight - this->marginY);
    }
    this->toolBar->GetBar().Build(w, [](int image) {
        return image >= 0 && image < 6 ? std::string(kImageLabels[image]) : std::string();
    });
    if (!this->note.empty()) {
        // The owner's texts quote paths and script errors: bytes of no UTF-8 character
        // show as the editor shows them, and nothing is read as a format.
        ui::EditorControl::ToInput(this->note, this->note8);
        ImGui::PushStyleColor(ImGuiCol_Text, IM_COL32(176, 0, 0, 255));
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextUnformatted(this->note8.data(), this->note8.data() + this->note8.size());
        ImGui::PopTextWrapPos();
        ImGui::PopStyleColor();
    }
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    this->control->Build(w, std::min(static_cast<float>(this->editorWidth), avail.x),
                         std::min(static_cast<float>(this->editorHeight), avail.y));
}
