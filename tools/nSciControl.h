#pragma once
// The script editor's text control: the layer's editor control inside a tool window and
// its control id, one operation per call. Every call does nothing (false, 0 or empty)
// once the window is gone.
#include <string>

namespace ui {
class EditorControl;
class Host;
}  // namespace ui

class nSciControl {
public:
    nSciControl(ui::Host* host, int windowId, ui::EditorControl* control, int controlId)
        : host(host), windowId(windowId), control(control), controlId(controlId) {}
    virtual ~nSciControl() = default;

    // The control while its window exists, else null.
    ui::EditorControl* GetControl() const;
    int GetControlId() const { return this->controlId; }

    bool CanUndo() const;
    void Undo();
    bool CanRedo() const;
    void Redo();
    void Cut();
    void Copy();
    bool CanPaste() const;
    void Paste();
    void Clear();
    int GetTextLength() const;
    std::string GetText() const;
    void SetText(const char* text);
    void SetKeywords(int set, const char* words);
    // The lexer and 7 style bits.
    void SetLexer(int lexer);
    void DefineMarker(int marker, int symbol, unsigned fore, unsigned back);
    // Folding on: the "fold" property, fold flags 16, margin 2 a sensitive symbol margin
    // of width 20 for the fold markers; off: "fold" 0 and margin 2 insensitive.
    void SetFolding(bool on);
    void ShowCompletion(int typedLength, const std::string& list);

private:
    ui::Host* host;
    int windowId;
    ui::EditorControl* control;
    int controlId;
};
