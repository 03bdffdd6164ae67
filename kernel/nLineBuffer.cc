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
        if (column_ == LineSize - 1) NewLine();
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
