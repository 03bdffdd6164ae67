#include "kernel/nString.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

nString::nString(nString&& other) noexcept { *this = std::move(other); }

nString& nString::operator=(const nString& other) {
    if (this != &other) Set(other.Get(), other.Length());
    return *this;
}

nString& nString::operator=(nString&& other) noexcept {
    if (this != &other) {
        Clear();
        heap_ = other.heap_;
        std::memcpy(inline_, other.inline_, InlineSize);
        length_ = other.length_;
        other.heap_ = nullptr;
        other.inline_[0] = 0;
        other.length_ = 0;
    }
    return *this;
}

void nString::Clear() {
    std::free(heap_);
    heap_ = nullptr;
    inline_[0] = 0;
    length_ = 0;
}

void nString::Set(const char* text) {
    if (!text) {
        Clear();
        return;
    }
    Set(text, std::strlen(text));
}

void nString::Set(const char* text, size_t len) {
    if (!text || len == 0) {
        Clear();
        return;
    }
    // Copy first: `text` may point into this string.
    if (len < InlineSize) {
        char tmp[InlineSize];
        std::memcpy(tmp, text, len);
        tmp[len] = 0;
        Clear();
        std::memcpy(inline_, tmp, len + 1);
        length_ = len;
        return;
    }
    char* buf = static_cast<char*>(std::malloc(len + 1));
    if (!buf) {
        Clear();
        return;
    }
    std::memcpy(buf, text, len);
    buf[len] = 0;
    Clear();
    heap_ = buf;
    length_ = len;
}

void nString::Append(const char* text) {
    if (text) Append(text, std::strlen(text));
}

void nString::Append(const char* text, size_t len) {
    if (!text || len == 0) return;
    if (length_ == 0) {
        Set(text, len);
        return;
    }
    size_t newLen = length_ + len;
    if (!heap_ && newLen < InlineSize) {
        std::memmove(inline_ + length_, text, len);
        inline_[newLen] = 0;
        length_ = newLen;
        return;
    }
    char* buf = static_cast<char*>(std::malloc(newLen + 1));
    if (!buf) return;
    std::memcpy(buf, Get(), length_);
    std::memcpy(buf + length_, text, len);
    buf[newLen] = 0;
    Clear();
    heap_ = buf;
    length_ = newLen;
}

void nString::ConvertBackslashes() {
    char* p = heap_ ? heap_ : inline_;
    for (size_t i = 0; i < length_; i++) {
        if (p[i] == '\\') p[i] = '/';
    }
}

void nString::ToLower() {
    char* p = heap_ ? heap_ : inline_;
    for (size_t i = 0; i < length_; i++) {
        if (p[i] >= 'A' && p[i] <= 'Z') p[i] = static_cast<char>(p[i] - 'A' + 'a');
    }
}

size_t nString::LastSeparator() const {
    const char* s = Get();
    for (char sep : {'/', '\\', ':'}) {
        const char* p = std::strrchr(s, sep);
        if (p) return static_cast<size_t>(p - s);
    }
    return static_cast<size_t>(-1);
}

nString nString::ExtractDirName() const {
    size_t pos = LastSeparator();
    if (pos == static_cast<size_t>(-1)) return *this;
    return nString(Get(), pos);
}

nString nString::ExtractFileName() const {
    size_t pos = LastSeparator();
    if (pos == static_cast<size_t>(-1)) return *this;
    return nString(Get() + pos + 1);
}

nString nString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    nString result;
    if (n > 0) {
        char* buf = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
        if (buf) {
            std::vsnprintf(buf, static_cast<size_t>(n) + 1, fmt, args);
            result.Set(buf, static_cast<size_t>(n));
            std::free(buf);
        }
    }
    va_end(args);
    return result;
}

bool operator==(const nString& a, const nString& b) {
    return a.Length() == b.Length() && std::memcmp(a.Get(), b.Get(), a.Length()) == 0;
}

bool operator==(const nString& a, const char* b) { return std::strcmp(a.Get(), b ? b : "") == 0; }

bool operator<(const nString& a, const nString& b) {
    return std::strcmp(a.Get(), b.Get()) < 0;
}

nString operator+(const nString& a, const char* b) {
    nString r(a);
    r.Append(b);
    return r;
}
