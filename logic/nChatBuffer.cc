#include "logic/nChatBuffer.h"

#include <cstring>

nChatBuffer::nChatBuffer() { Clear(); }

void nChatBuffer::Empty(Line& line) {
    std::memset(&line, 0, sizeof(line));
}

void nChatBuffer::Append(const char* text, float r, float g, float b, float a, float time) {
    if (!text) return;
    for (const char* p = text; *p; ++p) {
        const char c = *p;
        if (c == '\r') continue;
        // A character's UTF-8 that does not fit the row starts the next one.
        const unsigned char u = static_cast<unsigned char>(c);
        const int need = u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : u >= 0xC0 ? 2 : 1;
        if (need > 1 && lines_[newest_].length + need > LineCapacity - 1) finished_ = true;
        if (finished_) {
            newest_ = Wrap(newest_ + 1);
            if (newest_ == oldest_) oldest_ = Wrap(oldest_ + 1);
            Empty(lines_[newest_]);
            finished_ = false;
        }
        Line& line = lines_[newest_];
        if (c == '\n') {
            finished_ = true;
        } else {
            line.text[line.length++] = c;
            line.text[line.length] = 0;
            if (line.length == LineCapacity - 1) finished_ = true;
        }
        line.r = r;
        line.g = g;
        line.b = b;
        line.a = a;
        line.time = time;
    }
}

int nChatBuffer::Read(int count, const Line** out) const {
    if (count > NumLines) count = NumLines;
    int n = 0;
    for (; n < count; ++n) out[n] = &GetLine(n);
    return n;
}

void nChatBuffer::Clear() {
    for (Line& line : lines_) Empty(line);
    oldest_ = 0;
    newest_ = 0;
    finished_ = false;
}

void nChatBuffer::Remove(int age) {
    const int index = Wrap(newest_ - age);
    Empty(lines_[index]);
    // An emptied newest line is filled again by the next message.
    if (index == newest_) finished_ = false;
    while (oldest_ != newest_ && lines_[oldest_].length == 0) oldest_ = Wrap(oldest_ + 1);
}
