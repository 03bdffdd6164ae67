#include "kernel/nLogLimiter.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char Ellipsis[] = "[...]";
constexpr int EllipsisLength = 5;

// Also when the clock went back (another clock was set).
bool Due(double written, double now) { return !(now - written < nLogLimiter::RepeatSeconds && now >= written); }

// Bytes of the UTF-8 character that starts `s` (at most `avail` bytes), 0 when it starts
// none: a stray continuation byte, an overlong form, a surrogate, a cut sequence.
size_t CharLength(const char* s, size_t avail) {
    const uint8_t c = uint8_t(s[0]);
    uint8_t low = 0x80, high = 0xBF;
    size_t n = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    }
    if (n == 0 || n > avail || uint8_t(s[1]) < low || uint8_t(s[1]) > high) return 0;
    for (size_t k = 2; k < n; k++) {
        if ((uint8_t(s[k]) & 0xC0) != 0x80) return 0;
    }
    return n;
}

uint64_t Hash(const char* text, size_t length) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < length; i++) h = (h ^ uint8_t(text[i])) * 1099511628211ull;
    return h;
}

}  // namespace

nLogLimiter::nLogLimiter(Sink sink, void* context, size_t maxBytes)
    : sink_(sink), context_(context), maxBytes_(maxBytes), slots_(new Slot[RepeatSlots]) {}

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
    int n = std::vsnprintf(raw_, sizeof(raw_), fmt, copy);
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
        // character shows as '?' as well.
        char shown = (c < 0x20 && c != '\t') || c == 0x7F ? '?' : char(c);
        if (follow > 0) {
            follow--;
        } else if (c >= 0x80) {
            const size_t n = CharLength(raw_ + i, length - i);
            if (n == 2 && c == 0xC2 && uint8_t(raw_[i + 1]) < 0xA0) {
                shown = '?';
                i++;
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
    const char* feed = static_cast<const char*>(std::memchr(slot.text, '\n', slot.length));
    size_t line = feed ? size_t(feed - slot.text) : slot.length;
    // The count's line keeps to MaxLine as well.
    const size_t room = size_t(MaxLine - (suffixLength - 1));
    char out[MaxLine + 64];
    size_t n = 0;
    if (line > room) {
        line = room - EllipsisLength;
        while (line > 0 && (uint8_t(slot.text[line]) & 0xC0) == 0x80) line--;
        std::memcpy(out, slot.text, line);
        std::memcpy(out + line, Ellipsis, EllipsisLength);
        n = line + EllipsisLength;
    } else {
        std::memcpy(out, slot.text, line);
        n = line;
    }
    std::memcpy(out + n, suffix, size_t(suffixLength));
    Emit(out, n + size_t(suffixLength));
    slot.count = 0;
    slot.written = now;
}

void nLogLimiter::WriteCounts(bool all, double now) {
    // Mid-line (a text without its line feed came last) the counts wait.
    if (!atLineStart_) return;
    for (int i = 0; i < RepeatSlots; i++) {
        Slot& slot = slots_[i];
        if (slot.count > 0 && (all || Due(slot.written, now))) WriteCount(slot, now);
    }
}

void nLogLimiter::Put(double now, bool timed) {
    if (length_ == 0) return;
    if (timed) WriteCounts(false, now);
    if (!timed || !atLineStart_ || text_[length_ - 1] != '\n') {
        Emit(text_, length_);
        return;
    }
    const uint64_t hash = Hash(text_, length_);
    Slot* slot = nullptr;
    for (int i = 0; i < RepeatSlots && !slot; i++) {
        Slot& s = slots_[i];
        if (s.length == length_ && s.hash == hash && std::memcmp(s.text, text_, length_) == 0) slot = &s;
    }
    if (slot) {
        slot->seen = now;
        if (!Due(slot->written, now)) {
            slot->count++;
            return;
        }
    } else {
        // A line not seen lately takes a free slot or the one seen longest ago, whose
        // count is written first.
        slot = &slots_[0];
        for (int i = 0; i < RepeatSlots; i++) {
            Slot& s = slots_[i];
            if (s.length == 0) {
                slot = &s;
                break;
            }
            if (s.seen < slot->seen) slot = &s;
        }
        if (slot->count > 0) WriteCount(*slot, now);
        slot->hash = hash;
        slot->length = length_;
        std::memcpy(slot->text, text_, length_);
        slot->count = 0;
        slot->seen = now;
    }
    slot->written = now;
    Emit(text_, length_);
}

void nLogLimiter::PutLast() {
    WriteCounts(true, 0.0);
    Emit(text_, length_, true);
}

void nLogLimiter::Close() {
    bool pending = false;
    for (int i = 0; i < RepeatSlots; i++) pending = pending || slots_[i].count > 0;
    if (pending && !atLineStart_) Emit("\n", 1);
    WriteCounts(true, 0.0);
    if (dropped_ > 0) {
        char note[64];
        const int k = std::snprintf(note, sizeof(note), "... %llu lines dropped\n", (unsigned long long)dropped_);
        Emit(note, size_t(k), true);
    }
}
