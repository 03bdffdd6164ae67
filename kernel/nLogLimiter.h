#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>

// Bounds what a log stream costs, however much and however long a text is logged: each
// text is formatted by nLogFormat (quoted text shows its control characters as escapes) and
// cut (a line to MaxLine characters, a text to MaxText); in the format's own text, control
// characters but line feeds and tabs, UTF-8's controls and bytes that start no whole UTF-8
// character show as '?'; a whole line
// that comes again within RepeatSeconds of being written is counted instead, whatever
// comes between, among the RepeatSlots distinct lines seen last (found through a hash
// index: memory is fixed and a look-up costs the same however many lines there are); of
// lines not seen lately at most MaxNewBytes are written in RepeatSeconds, the rest counted
// in one line; past MaxBytes the stream only counts what it drops. It goes to a sink in order.
class nLogLimiter {
public:
    using Sink = void (*)(void* context, const char* text, size_t length);

    static constexpr int MaxLine = 512;  // "[...]" at its end included
    static constexpr int MaxText = 1024;
    static constexpr int RepeatSlots = 4096;
    static constexpr double RepeatSeconds = 5.0;
    static constexpr size_t MaxNewBytes = size_t(64) << 10;
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

    // A line is matched by its hash, its length and its first ShownBytes bytes, which are
    // all its count's line shows of it.
    static constexpr size_t ShownBytes = 192;
    static constexpr int IndexSize = RepeatSlots * 2;  // open addressing, at most half full
    static constexpr uint16_t None = 0xFFFF;

    struct Slot {
        uint64_t hash = 0;
        size_t length = 0;  // 0: free
        int count = 0;      // times seen since it or its count was last written
        double written = 0.0;
        // Two lists through the slots: by time seen (the oldest goes first when a line
        // needs a slot) and by time written (whose count is due first).
        uint16_t seenPrev = None, seenNext = None;
        uint16_t writtenPrev = None, writtenNext = None;
        bool listed = false;  // in the written list: not yet due
        char shown[ShownBytes];
    };
    struct List {
        uint16_t head = None, tail = None;
    };

    int Find(uint64_t hash) const;
    void Index(int slot);
    void Unindex(int slot);
    void Link(List& list, int slot, bool seen);
    void Unlink(List& list, int slot, bool seen);
    // A slot for a line not seen lately: a free one or the one seen longest ago.
    int TakeSlot(double now);
    void WriteUnwritten();
    void StartWindow(double now);
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
    std::unique_ptr<uint16_t[]> index_;  // slot + 1, 0: empty
    int used_ = 0;                       // slots taken so far, in order
    List seenList_, writtenList_;
    double windowStart_ = 0.0;
    bool windowOpen_ = false;
    size_t newBytes_ = 0;     // of lines not seen lately written in this window
    uint64_t unwritten_ = 0;  // lines past MaxNewBytes
    uint64_t seed_;           // data cannot aim at one hash it does not know
};
