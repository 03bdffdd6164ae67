#include "input/nEditLine.h"

#include <cstring>

int nEditLine::GetLength() const { return int(std::strlen(text_)); }

void nEditLine::Type(char c) {
    if (overwrite_) {
        const bool atEnd = text_[cursor_] == 0;
        text_[cursor_] = c;
        if (atEnd && cursor_ < Size - 1) text_[cursor_ + 1] = 0;
    } else {
        std::memmove(text_ + cursor_ + 1, text_ + cursor_, size_t(Size - 1 - cursor_));
        text_[cursor_] = c;
        text_[Size - 1] = 0;
    }
    if (++cursor_ >= Size) {
        cursor_ = Size - 1;
        text_[Size - 1] = 0;
    }
}

void nEditLine::Backspace() {
    if (cursor_ == 0) return;
    std::memmove(text_ + cursor_ - 1, text_ + cursor_, size_t(GetLength() - cursor_ + 1));
    --cursor_;
}

void nEditLine::Delete() {
    const int length = GetLength();
    if (cursor_ < length) std::memmove(text_ + cursor_, text_ + cursor_ + 1, size_t(length - cursor_));
}

void nEditLine::Left() {
    if (cursor_ > 0) --cursor_;
}

void nEditLine::Right() {
    if (cursor_ < GetLength()) ++cursor_;
}

void nEditLine::WordLeft() {
    int c = cursor_;
    while (c > 0 && text_[c - 1] == ' ') --c;
    while (c > 0 && text_[c - 1] != ' ') --c;
    cursor_ = c;
}

void nEditLine::WordRight() {
    int c = cursor_;
    while (text_[c] == ' ') ++c;
    while (text_[c] && text_[c] != ' ') ++c;
    while (text_[c] == ' ') ++c;
    cursor_ = c;
}

void nEditLine::End() { cursor_ = GetLength(); }

void nEditLine::Set(const char* text) {
    std::strncpy(text_, text ? text : "", Size - 1);
    text_[Size - 1] = 0;
    End();
}

void nEditLine::Clear() {
    text_[0] = 0;
    cursor_ = 0;
}
