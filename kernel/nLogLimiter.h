#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>

// Bounds what a log stream costs, however much and however long a text is logged: each
// text is cut (a line to MaxLine characters, a text to MaxText) and its control characters,
// UTF-8's too, and bytes that start no whole UTF-8 character show as '?'; a whole line
// that comes again within RepeatSeconds of being written is counted instead, whatever
// comes between, among the last RepeatSlots distinct lines; past MaxBytes the stream only
// counts what it drops. It goes to a sink in order.
class nLogLimiter {
public:
    using Sink = void (*)(void* context, const char* text, size_t length);

    static constexpr int MaxLine = 512;  // "[...]" at its end included
    static constexpr int MaxText = 1024;
    static constexpr int RepeatSlots = 256;
    static constexpr double RepeatSeconds = 5.0;
    static constexpr size_t MaxBytes = size_t(4) << 20;

    nLogLimiter(Sink sink, void* context, size_t maxBytes = MaxBytes);

    // Formats and cuts a text; it stays until the next Cut. A line cut short ends in
    // "[...]", and so does a text cut short, followed by its line feed.
    const char* Cut(const char* fmt, va_list args);
    // Writes the last cut text or counts it as a repeat, after the counts due at `now` (in
    // seconds). Without a clock (`timed` false) nothing is counted.
    void Put(double now, bool timed);
    // Writes the last cut text after every pending count, past the size cap: a fatal
    // stop's last words.
    void PutLast();
    // Writes every pending count and, when the cap dropped lines, how many.
    void Close();

private:
    // A cut text's room: a few "[...]" more than MaxText.
    static constexpr size_t TextRoom = MaxText + 64;

    struct Slot {
        uint64_t hash = 0;
        size_t length = 0;  // 0: free
        int count = 0;      // times seen since it or its count was last written
        double written = 0.0;
        double seen = 0.0;
        char text[TextRoom];
    };

    void Emit(const char* text, size_t length, bool pastCap = false);
    void WriteCount(Slot& slot, double now);
    void WriteCounts(bool all, double now);
    // Ends the open line with "[...]"; `lineStart` is where it began in this text.
    void CutLine(size_t lineStart);

    Sink sink_;
    void* context_;
    size_t maxBytes_;
    size_t written_ = 0;
    uint64_t dropped_ = 0;  // whole lines past the cap
    bool full_ = false;
    bool atLineStart_ = true;
    int column_ = 0;         // characters of the line the last text left open
    bool lineCut_ = false;   // that line already ends in "[...]"
    char raw_[MaxText + 1];
    char text_[TextRoom];
    size_t length_ = 0;
    std::unique_ptr<Slot[]> slots_;
};
