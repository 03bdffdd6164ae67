#pragma once
#include <cstddef>

// The most recent log lines: a ring of 256 lines of at most 79 characters. Text is split
// at line feeds and wrapped at 79 characters; when the ring is full the oldest line goes.
class nLineBuffer {
public:
    static constexpr int NumLines = 256;
    static constexpr int LineSize = 80;

    // Appends text; an unfinished line is continued by the next Put.
    void Put(const char* text);
    // Number of lines held, the unfinished last one included.
    int GetNumLines() const;
    // Line `i`, 0 the oldest; null when out of range.
    const char* GetLine(int i) const;
    void Clear();

private:
    void NewLine();

    char lines_[NumLines][LineSize] = {};
    int head_ = 0;    // index of the oldest line
    int count_ = 0;   // complete lines plus the open one
    int column_ = 0;  // characters in the open (last) line
    bool open_ = false;
};
