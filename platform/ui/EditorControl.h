#pragma once
// The tools' text editor control: the text, caret and selection, an undo and redo stack
// of its own, cut, copy, paste and clear through the host's clipboard, a completion list
// and notifications (character added, modified, margin click), with the set-up an editor
// dialog gives it (lexer, keywords, style table, margins, markers, fold property) kept as
// set. Drawn as ImGui's multiline input whose own glyphs are transparent, with the Lua
// styler's colours drawn over them and line numbers in margin 1. Folding is recorded,
// never drawn: no line is hidden.
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/LuaStyler.h"

struct ImGuiWindow;

namespace ui {

class Host;
class ToolWindow;

class EditorControl {
public:
    // Colours are Windows colour values 0x00BBGGRR.
    struct Style {
        unsigned fore = 0x000000;
        unsigned back = 0xFFFFFF;
        std::string font = "Verdana";
        int size = 8;
        bool bold = false;
        bool italic = false;
        bool underline = false;
        bool eolFilled = false;
    };
    struct Margin {
        int type = 0;  // 0 symbols, 1 line numbers
        int width = 0;
        unsigned mask = 0;
        bool sensitive = false;
    };
    struct Marker {
        int symbol = 0;
        unsigned fore = 0x000000;
        unsigned back = 0xFFFFFF;
    };
    static constexpr int kStyles = 128;
    static constexpr int kMargins = 5;
    static constexpr int kMarkers = 32;

    explicit EditorControl(Host* host);

    // Text bytes as an input's UTF-8 and back: valid UTF-8 passes as it is, any other byte
    // stands as a private character of its own, so that text nobody touched comes back as
    // it was.
    static void ToInput(const std::string& text, std::string& utf8);
    static void FromInput(const std::string& utf8, std::string& text);

    // Text (replacing it is one undoable step, as any edit).
    void SetText(const std::string& text);
    const std::string& GetText() const { return this->text; }
    size_t GetLength() const { return this->text.size(); }
    // Bytes [start, end) clamped to the text.
    std::string GetTextRange(size_t start, size_t end) const;

    size_t GetCaret() const { return this->caret; }
    size_t GetAnchor() const { return this->anchor; }
    // Clamped to the text; an empty selection at the caret when the anchor equals it.
    void SetSelection(size_t anchor, size_t caret);
    void SetCaret(size_t position) { this->SetSelection(position, position); }

    // A character typed at the caret (replacing the selection); notifies a character
    // added with the Ctrl state it came with.
    void TypeCharacter(char c, bool ctrlHeld = false);
    // Inserts at the caret, replacing the selection.
    void ReplaceSelection(const std::string& inserted);
    // Replaces [start, end) outside the undo history (what the owner shows of itself, as
    // a path that changed): undo and redo go on as if the span had always read `with`, the
    // caret and selection stay on their characters. False, changing nothing, when an edit
    // in the history reaches into the span without holding it whole.
    bool ReplaceUntracked(size_t start, size_t end, const std::string& with);
    // Deletes the selection, else the byte before the caret.
    void DeleteBack();
    bool CanUndo() const { return !this->undo.empty(); }
    bool CanRedo() const { return !this->redo.empty(); }
    void Undo();
    void Redo();
    void EmptyUndoBuffer();
    void Cut();
    void Copy();
    bool CanPaste() const { return true; }
    void Paste();
    // Deletes the selection, else the byte after the caret.
    void Clear();
    // Where the word (letters, digits, "_") ending at `position` starts.
    size_t WordStartPosition(size_t position) const;
    int LineFromPosition(size_t position);
    size_t PositionFromLine(int line);
    int GetLineCount();
    // True only inside a character-added notification whose key came with Ctrl.
    bool IsCtrlHeld() const { return this->ctrlHeld; }

    // Completion: a list of space-separated entries for the `typedLength` bytes before
    // the caret (the typed word); picking one replaces the word. While the list shows,
    // every edit moves the choice to the first entry that starts with the word as it is
    // now, or closes the list when none does or the caret went before the word.
    void ShowCompletion(int typedLength, const std::string& list);
    bool IsCompletionActive() const { return this->completionActive; }
    // Selects the first entry starting with `word` (case as set); none: the selection stays.
    void SelectCompletion(const std::string& word);
    int GetCompletionSelection() const { return this->completionSelection; }
    const std::vector<std::string>& GetCompletionEntries() const { return this->completionEntries; }
    // The list's rows wholly shown at the last frame (false when it was not drawn).
    bool GetCompletionRowsShown(int& first, int& last) const;
    // Puts the entry in for the typed word and closes the list; an entry that does not
    // start with the word puts nothing in.
    void PickCompletion(int entry);
    void CancelCompletion() { this->completionActive = false; }
    void SetCompletionIgnoreCase(bool ignore) { this->completionIgnoreCase = ignore; }
    bool GetCompletionIgnoreCase() const { return this->completionIgnoreCase; }
    void SetCompletionAutoHide(bool hide) { this->completionAutoHide = hide; }
    bool GetCompletionAutoHide() const { return this->completionAutoHide; }

    // Set-up kept as set; the keyword set 0 colours Lua keywords.
    void SetLexer(int lexer) { this->lexer = lexer; }
    int GetLexer() const { return this->lexer; }
    void SetStyleBits(int bits) { this->styleBits = bits; }
    int GetStyleBits() const { return this->styleBits; }
    void SetKeywords(int set, const std::string& words);
    std::string GetKeywords(int set) const;
    // Null for a style number outside 0 to 127.
    Style* GetStyle(int style);
    const Style* GetStyle(int style) const;
    void SetProperty(const std::string& name, const std::string& value) { this->properties[name] = value; }
    std::string GetProperty(const std::string& name) const;
    void SetFoldFlags(int flags) { this->foldFlags = flags; }
    int GetFoldFlags() const { return this->foldFlags; }
    // Null outside 0 to 4.
    Margin* GetMargin(int margin);
    // Null outside 0 to 31.
    Marker* GetMarker(int marker);
    void SetIndentationGuides(bool on) { this->indentationGuides = on; }
    bool GetIndentationGuides() const { return this->indentationGuides; }
    // Recorded only: every line stays shown.
    void ToggleFold(int line) { this->foldToggles.push_back(line); }
    const std::vector<int>& GetFoldToggles() const { return this->foldToggles; }
    // A click in a sensitive margin at the line holding `position`.
    void MarginClick(int margin, size_t position);

    // Notifications; they may not delete the control (work that does goes through the
    // window's Defer). While the control is built in a frame they run after the frame.
    std::function<void(int character)> onCharAdded;
    std::function<void()> onModified;
    std::function<void(int margin, size_t position)> onMarginClick;

    // Builds the control at the window's cursor, `width` x `height` pixels.
    void Build(ToolWindow& window, float width, float height);
    // Where the last frame drew: a byte's glyph (its top-left corner) and the completion
    // list's top-left corner; false when not drawn.
    bool GetScreenPosition(size_t position, float& x, float& y) const;
    bool GetCompletionScreenPosition(float& x, float& y) const;
    // A margin's left and right edge as last drawn (false when not drawn or of no width): a
    // line-number margin is as wide as set or as its widest number needs.
    bool GetMarginScreenRange(int margin, float& left, float& right) const;
    float GetLineHeight() const { return this->lineHeight; }
    // The styler, brought up to the text.
    const LuaStyler& GetStyler();

private:
    struct Step {
        size_t position;
        std::string removed;
        std::string inserted;
        size_t caretBefore;
        size_t anchorBefore;
    };
    // Replaces [start, end) with `inserted` as one undo step, caret after it.
    void Edit(size_t start, size_t end, const std::string& inserted);
    void Apply(size_t start, size_t removedLength, const std::string& inserted);
    void Notify(std::function<void()> note);
    void Modified();
    void DrawText(ImGuiWindow* child, float originX, float originY);
    // After an edit: the list's choice follows the typed word (see ShowCompletion).
    void FollowCompletion();
    // The typed word's start, or false when the caret stands before it.
    bool CompletionWord(size_t& start) const;

    Host* host;
    std::string text;
    size_t caret = 0;
    size_t anchor = 0;
    std::vector<Step> undo;
    std::vector<Step> redo;
    bool ctrlHeld = false;

    bool completionActive = false;
    bool completionIgnoreCase = false;
    bool completionAutoHide = true;
    size_t completionStart = 0;  // where the typed word began
    int completionSelection = 0;
    bool completionRequest = false;  // the space of Ctrl+Space stands in the text
    bool completionScroll = false;   // the choice moved: the list brings it into sight
    int completionFirstShown = 0, completionLastShown = -1;
    std::vector<std::string> completionEntries;

    int lexer = 0;
    int styleBits = 5;
    std::map<int, std::string> keywords;
    Style styles[kStyles];
    std::map<std::string, std::string> properties;
    int foldFlags = 0;
    Margin margins[kMargins];
    Marker markers[kMarkers];
    bool indentationGuides = false;
    std::vector<int> foldToggles;

    LuaStyler styler;
    bool stylerStale = true;

    // Frame state.
    bool building = false;
    std::vector<std::function<void()>> pending;
    std::string buffer;     // what the input shows, in UTF-8
    bool bufferStale = true;
    std::string edited;     // the buffer back in the text's encoding
    mutable std::string drawn8;  // a run of the text in UTF-8, for measuring and drawing
    bool pushText = false;  // the model changed under an active input
    bool drawn = false;
    float textX = 0, textY = 0, lineHeight = 0, advance = 0;
    float completionX = 0, completionY = 0;
    float marginLeft[kMargins] = {}, marginRight[kMargins] = {};
    bool wasActive = false;
};

}  // namespace ui
