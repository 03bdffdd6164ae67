#include "kernel/nLineBuffer.h"

void nLineBuffer::NewLine() {
    if (count_ == NumLines) {
        head_ = (head_ + 1) % NumLines;
        count_--;
    }
    int idx = (head_ + count_) % NumLines;
    lines_[idx][0] = 0;
    count_++;
    column_ = 0;
    open_ = true;
}

void nLineBuffer::Put(const char* text) {
    if (!text) return;
    for (const char* p = text; *p; p++) {
        if (!open_) NewLine();
        if (*p == '\n') {
            open_ = false;
            continue;
        }
        // A character's UTF-8 goes to the next line whole when it does not fit this one.
        const unsigned char c = static_cast<unsigned char>(*p);
        const int need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (column_ + need > LineSize - 1 && column_ > 0 && (c < 0x80 || c >= 0xC0)) NewLine();
        else if (column_ == LineSize - 1) NewLine();
        char* line = lines_[(head_ + count_ - 1) % NumLines];
        line[column_++] = *p;
        line[column_] = 0;
    }
}

int nLineBuffer::GetNumLines() const { return count_; }

const char* nLineBuffer::GetLine(int i) const {
    if (i < 0 || i >= count_) return nullptr;
    return lines_[(head_ + i) % NumLines];
}

void nLineBuffer::Clear() {
    head_ = count_ = column_ = 0;
    open_ = false;
}
