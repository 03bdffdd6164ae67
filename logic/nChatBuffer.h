#pragma once
// The chat server's message store: a ring of 64 lines of at most 79 characters, each
// with the colour and time stamp of the message that wrote it. Appended text is split
// at line feeds and at full lines; when the ring is full the oldest line is overwritten.

class nChatBuffer {
public:
    static constexpr int NumLines = 64;
    static constexpr int LineCapacity = 80;  // 79 characters and the terminator

    struct Line {
        char text[LineCapacity];
        int length;
        float r, g, b, a;
        float time;
    };

    nChatBuffer();

    // Appends `text` (null is ignored); every line it writes takes the colour and time.
    // '\r' is skipped. A finished line (line feed or full) is only left at the next
    // character, so an open line continues and a new message never joins a finished one.
    void Append(const char* text, float r, float g, float b, float a, float time);
    // Up to `count` lines (at most 64), newest first, into `out`; returns how many.
    int Read(int count, const Line** out) const;
    // Empties every line and resets both indices.
    void Clear();

    // Line `age` back from the newest (0 = newest).
    Line& GetLine(int age) { return lines_[Wrap(newest_ - age)]; }
    const Line& GetLine(int age) const { return lines_[Wrap(newest_ - age)]; }
    // Empties the line `age` back from the newest; the oldest index then moves past
    // empty lines, never beyond the newest.
    void Remove(int age);

    int GetOldest() const { return oldest_; }
    int GetNewest() const { return newest_; }

private:
    static int Wrap(int i) { return (i % NumLines + NumLines) % NumLines; }
    static void Empty(Line& line);

    Line lines_[NumLines];
    int oldest_ = 0;
    int newest_ = 0;
    // The newest line was ended by a line feed or by filling up.
    bool finished_ = false;
};
