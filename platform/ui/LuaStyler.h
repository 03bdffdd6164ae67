#pragma once
// Lua colouring for the editor control: a tokenizer that gives every byte of the text a
// style number (0 default, 1 and 2 block and line comments, 4 numbers, 5 keywords of
// set 0, 6 and 7 double- and single-quoted strings, 8 long strings, 9 "$" lines, 10
// operators, 11 identifiers, 12 strings left open at the line end), kept per line with
// the state a line leaves (inside a long comment or string of some level), so an edit
// restyles only the lines it changed and those whose entry state it changed.
// Any bytes are fine: invalid UTF-8 and NULs are ordinary bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

class LuaStyler {
public:
    enum Style : uint8_t {
        Default = 0,
        Comment = 1,
        CommentLine = 2,
        CommentDoc = 3,
        Number = 4,
        Keyword = 5,
        String = 6,
        Character = 7,
        LiteralString = 8,
        Preprocessor = 9,
        Operator = 10,
        Identifier = 11,
        StringEol = 12,
    };

    // Space-separated words of keyword set 0; takes effect for the next Update (which
    // then restyles everything).
    void SetKeywords(const std::string& words);
    // Brings styles and line index up to `text`, restyling only what changed since the
    // last call. No allocation when the text keeps its size class.
    void Update(const std::string& text);

    int GetLineCount() const { return static_cast<int>(this->lineStarts.size()); }
    // Byte offsets of a line's first byte and of its end (its line feed or the text end).
    size_t LineStart(int line) const;
    size_t LineEnd(int line) const;
    // The line holding byte `position` (positions past the end give the last line).
    int LineFromPosition(size_t position) const;
    // One style per byte of the text of the last Update.
    const uint8_t* GetStyles() const { return this->styles.data(); }
    size_t GetLength() const { return this->length; }
    // Lines styled by the last Update (for checking that edits stay local).
    int GetLinesRestyled() const { return this->restyled; }

    // Styles one line of `n` bytes entered in `state`; returns the state it leaves.
    int StyleLine(const char* line, size_t n, int state, uint8_t* out) const;
    bool IsKeyword(std::string_view word) const;

private:
    void Index(const std::string& text);

    std::vector<std::string> keywords;  // sorted
    bool keywordsChanged = true;
    std::string previous;
    std::vector<size_t> lineStarts;
    std::vector<int> entryStates;  // per line: the state it is entered in
    std::vector<int> oldEntryStates;
    std::vector<uint8_t> styles;
    size_t length = 0;
    int restyled = 0;
};

}  // namespace ui
