#include "kernel/nLogLimiter.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "kernel/nLogFormat.h"

namespace {

constexpr char Ellipsis[] = "[...]";
constexpr int EllipsisLength = 5;

// Also when the clock went back (another clock was set).
bool Due(double written, double now) { return !(now - written < nLogLimiter::RepeatSeconds && now >= written); }

uint64_t Hash(uint64_t seed, const char* text, size_t length) {
    uint64_t h = 14695981039346656037ull ^ seed;
    for (size_t i = 0; i < length; i++) h = (h ^ uint8_t(text[i])) * 1099511628211ull;
    return h;
}

}  // namespace

nLogLimiter::nLogLimiter(Sink sink, void* context, size_t maxBytes)
    : sink_(sink),
      context_(context),
      maxBytes_(maxBytes),
      slots_(new Slot[RepeatSlots]),
      index_(new uint16_t[IndexSize]()),
      seed_(uint64_t(reinterpret_cast<uintptr_t>(this)) ^
            uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) * 0x9E3779B97F4A7C15ull) {}

int nLogLimiter::Find(uint64_t hash) const {
    const size_t compare = length_ < ShownBytes ? length_ : ShownBytes;
    for (int at = int(hash & (IndexSize - 1));; at = (at + 1) & (IndexSize - 1)) {
        const int slot = int(index_[at]) - 1;
        if (slot < 0) return -1;
        const Slot& s = slots_[slot];
        if (s.hash == hash && s.length == length_ && std::memcmp(s.shown, text_, compare) == 0) return slot;
    }
}

void nLogLimiter::Index(int slot) {
    int at = int(slots_[slot].hash & (IndexSize - 1));
    while (index_[at] != 0) at = (at + 1) & (IndexSize - 1);
    index_[at] = uint16_t(slot + 1);
}

void nLogLimiter::Unindex(int slot) {
    int at = int(slots_[slot].hash & (IndexSize - 1));
    while (index_[at] != slot + 1) at = (at + 1) & (IndexSize - 1);
    // Entries after the hole move back into it where their probe would pass it.
    for (int next = (at + 1) & (IndexSize - 1); index_[next] != 0; next = (next + 1) & (IndexSize - 1)) {
        const int home = int(slots_[index_[next] - 1].hash & (IndexSize - 1));
        if (((next - home) & (IndexSize - 1)) >= ((next - at) & (IndexSize - 1))) {
            index_[at] = index_[next];
            at = next;
        }
    }
    index_[at] = 0;
}

void nLogLimiter::Link(List& list, int slot, bool seen) {
    Slot& s = slots_[slot];
    (seen ? s.seenPrev : s.writtenPrev) = list.tail;
    (seen ? s.seenNext : s.writtenNext) = None;
    if (list.tail == None) list.head = uint16_t(slot);
    else (seen ? slots_[list.tail].seenNext : slots_[list.tail].writtenNext) = uint16_t(slot);
    list.tail = uint16_t(slot);
}

void nLogLimiter::Unlink(List& list, int slot, bool seen) {
    Slot& s = slots_[slot];
    const uint16_t prev = seen ? s.seenPrev : s.writtenPrev;
    const uint16_t next = seen ? s.seenNext : s.writtenNext;
    if (prev == None) list.head = next;
    else (seen ? slots_[prev].seenNext : slots_[prev].writtenNext) = next;
    if (next == None) list.tail = prev;
    else (seen ? slots_[next].seenPrev : slots_[next].writtenPrev) = prev;
}

void nLogLimiter::CutLine(size_t lineStart) {
    // Back to MaxLine - 5 characters, as far as this text holds the line ...
    const size_t over = column_ > MaxLine - EllipsisLength ? size_t(column_ - (MaxLine - EllipsisLength)) : 0;
    const size_t back = over < length_ - lineStart ? over : length_ - lineStart;
    length_ -= back;
    column_ -= int(back);
    // ... and never through a character's UTF-8 bytes.
    size_t lead = length_;
    while (lead > lineStart && length_ - lead < 4 && (uint8_t(text_[lead - 1]) & 0xC0) == 0x80) lead--;
    if (lead > lineStart) {
        const uint8_t c = uint8_t(text_[lead - 1]);
        const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (length_ - (lead - 1) < need) {
            column_ -= int(length_ - (lead - 1));
            length_ = lead - 1;
        }
    }
    std::memcpy(text_ + length_, Ellipsis, EllipsisLength);
    length_ += EllipsisLength;
    column_ += EllipsisLength;
    lineCut_ = true;
}

const char* nLogLimiter::Cut(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = nLogFormat::Format(raw_, sizeof(raw_), fmt, copy);
    va_end(copy);
    if (n < 0) n = 0;
    const bool textCut = n > MaxText;
    const size_t length = textCut ? size_t(MaxText) : size_t(n);
    length_ = 0;
    size_t lineStart = 0;
    size_t follow = 0;  // bytes of a whole character still to copy
    for (size_t i = 0; i < length; i++) {
        const uint8_t c = uint8_t(raw_[i]);
        if (c == '\n') {
            text_[length_++] = '\n';
            lineStart = length_;
            follow = 0;
            column_ = 0;
            lineCut_ = false;
            continue;
        }
        if (lineCut_) continue;
        if (column_ >= MaxLine - EllipsisLength) {
            // Only a line longer than MaxLine is cut: a look at what this text still has.
            size_t end = i;
            while (end < length && raw_[end] != '\n' && column_ + int(end - i) <= MaxLine) end++;
            if (column_ + int(end - i) > MaxLine || (end == length && textCut)) {
                CutLine(lineStart);
                continue;
            }
        }
        // Control characters would act on a terminal that shows standard output, also
        // those of UTF-8 (U+0080 to U+009F) and the bare bytes 0x80 to 0x9F, which an
        // 8-bit terminal takes as the same controls: a byte that starts no whole UTF-8
        // character shows as '?' as well, and so does a line or paragraph separator or a
        // bidirectional control, at which a viewer breaks or turns the line.
        char shown = (c < 0x20 && c != '\t') || c == 0x7F ? '?' : char(c);
        if (follow > 0) {
            follow--;
        } else if (c >= 0x80) {
            const size_t n = nLogFormat::CharLength(raw_ + i, length - i);
            if (nLogFormat::IsControl(raw_ + i, n)) {
                shown = '?';
                i += n - 1;
            } else if (n == 0) {
                shown = '?';
            } else {
                follow = n - 1;
            }
        }
        text_[length_++] = shown;
        column_++;
    }
    if (textCut) {
        if (!lineCut_) CutLine(lineStart);
        text_[length_++] = '\n';
        column_ = 0;
        lineCut_ = false;
    }
    text_[length_] = 0;
    return text_;
}

void nLogLimiter::Emit(const char* text, size_t length, bool pastCap) {
    if (length == 0) return;
    if (!pastCap && (full_ || written_ + length > maxBytes_)) {
        if (!full_) {
            full_ = true;
            if (!atLineStart_) Emit("\n", 1, true);
            char note[96];
            const int k = std::snprintf(note, sizeof(note), "... the log has reached %zu bytes: later lines are dropped\n",
                                        maxBytes_);
            Emit(note, size_t(k), true);
        }
        for (size_t i = 0; i < length; i++) dropped_ += text[i] == '\n';
        return;
    }
    sink_(context_, text, length);
    written_ += length;
    atLineStart_ = text[length - 1] == '\n';
}

void nLogLimiter::WriteCount(Slot& slot, double now) {
    char suffix[48];
    const int suffixLength =
        std::snprintf(suffix, sizeof(suffix), " (repeated %d %s)\n", slot.count, slot.count == 1 ? "time" : "times");
    // The first line as far as the slot keeps it: the count's line stays within MaxLine.
    const size_t kept = slot.length < ShownBytes ? slot.length : ShownBytes;
    const char* feed = static_cast<const char*>(std::memchr(slot.shown, '\n', kept));
    char out[ShownBytes + EllipsisLength + 48];
    size_t n = 0;
    if (feed) {
        n = size_t(feed - slot.shown);
        std::memcpy(out, slot.shown, n);
    } else {
        // Never through a character's UTF-8 bytes.
        size_t lead = kept - 1;
        while (lead > 0 && (uint8_t(slot.shown[lead]) & 0xC0) == 0x80) lead--;
        const uint8_t c = uint8_t(slot.shown[lead]);
        const size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        n = lead + need > kept ? lead : kept;
        std::memcpy(out, slot.shown, n);
        std::memcpy(out + n, Ellipsis, EllipsisLength);
        n += EllipsisLength;
    }
    std::memcpy(out + n, suffix, size_t(suffixLength));
    Emit(out, n + size_t(suffixLength));
    slot.count = 0;
    slot.written = now;
}

void nLogLimiter::WriteCounts(bool all, double now) {
    // Mid-line (a text without its line feed came last) the counts wait.
    if (!atLineStart_) return;
    // Oldest written first: past the first that is not due, none is.
    while (writtenList_.head != None) {
        const int i = writtenList_.head;
        Slot& slot = slots_[i];
        if (!all && !Due(slot.written, now)) break;
        Unlink(writtenList_, i, false);
        slot.listed = false;
        if (slot.count > 0) {
            WriteCount(slot, now);
            if (!all) {
                Link(writtenList_, i, false);
                slot.listed = true;
            }
        }
    }
}

void nLogLimiter::WriteUnwritten() {
    if (unwritten_ == 0 || !atLineStart_) return;
    char note[64];
    const int k = std::snprintf(note, sizeof(note), "... %llu other lines not written\n", (unsigned long long)unwritten_);
    Emit(note, size_t(k));
    unwritten_ = 0;
}

void nLogLimiter::StartWindow(double now) {
    if (!atLineStart_ || (windowOpen_ && !Due(windowStart_, now))) return;
    WriteUnwritten();
    windowStart_ = now;
    windowOpen_ = true;
    newBytes_ = 0;
}

int nLogLimiter::TakeSlot(double now) {
    if (used_ < RepeatSlots) return used_++;
    const int i = seenList_.head;
    Slot& slot = slots_[i];
    if (slot.count > 0) WriteCount(slot, now);
    if (slot.listed) Unlink(writtenList_, i, false);
    slot.listed = false;
    Unlink(seenList_, i, true);
    Unindex(i);
    return i;
}

void nLogLimiter::Put(double now, bool timed) {
    if (length_ == 0) return;
    if (timed) {
        WriteCounts(false, now);
        StartWindow(now);
    }
    if (!timed || !atLineStart_ || text_[length_ - 1] != '\n') {
        Emit(text_, length_);
        return;
    }
    const uint64_t hash = Hash(seed_, text_, length_);
    int i = Find(hash);
    if (i >= 0) {
        Slot& slot = slots_[i];
        Unlink(seenList_, i, true);
        Link(seenList_, i, true);
        if (slot.listed && !Due(slot.written, now)) {
            slot.count++;
            return;
        }
    } else {
        // Ever new lines (a counter in each) would fill the file within seconds.
        if (newBytes_ + length_ > MaxNewBytes) {
            unwritten_++;
            return;
        }
        newBytes_ += length_;
        i = TakeSlot(now);
        Slot& slot = slots_[i];
        slot.hash = hash;
        slot.length = length_;
        std::memcpy(slot.shown, text_, length_ < ShownBytes ? length_ : ShownBytes);
        slot.count = 0;
        Index(i);
        Link(seenList_, i, true);
    }
    Slot& slot = slots_[i];
    if (slot.listed) Unlink(writtenList_, i, false);
    slot.written = now;
    Link(writtenList_, i, false);
    slot.listed = true;
    Emit(text_, length_);
}

void nLogLimiter::PutLast() {
    WriteCounts(true, 0.0);
    WriteUnwritten();
    Emit(text_, length_, true);
}

void nLogLimiter::Close() {
    bool pending = unwritten_ > 0;
    for (uint16_t i = writtenList_.head; i != None && !pending; i = slots_[i].writtenNext) pending = slots_[i].count > 0;
    if (pending && !atLineStart_) Emit("\n", 1);
    WriteCounts(true, 0.0);
    WriteUnwritten();
    if (dropped_ > 0) {
        char note[64];
        const int k = std::snprintf(note, sizeof(note), "... %llu lines dropped\n", (unsigned long long)dropped_);
        Emit(note, size_t(k), true);
    }
}
