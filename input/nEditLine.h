#pragma once
// A one-line text editor as the chat and console input lines use it: at most Size - 1
// characters, a cursor, insert or overwrite mode, and word moves that stop at spaces.

class nEditLine {
public:
    static constexpr int Size = 512;

    // Enters `c` at the cursor. A full line drops the overflowing character.
    void Type(char c);
    void Backspace();
    void Delete();
    void Left();
    void Right();
    // Back over spaces, then back over the word before them.
    void WordLeft();
    // Forward over spaces, the word, and the spaces after it.
    void WordRight();
    void Home() { cursor_ = 0; }
    void End();
    void ToggleOverwrite() { overwrite_ = !overwrite_; }
    // Replaces the text (cut to Size - 1) and puts the cursor at its end.
    void Set(const char* text);
    void Clear();

    const char* GetText() const { return text_; }
    int GetLength() const;
    bool IsEmpty() const { return text_[0] == 0; }
    int GetCursor() const { return cursor_; }
    bool IsOverwrite() const { return overwrite_; }

private:
    char text_[Size] = {};
    int cursor_ = 0;
    bool overwrite_ = false;
};
