#pragma once
#include <cstddef>

// Owned text with an inline buffer for short texts (most object, class and command names
// fit) and a heap copy for longer ones. Lengths are size_t: texts of any length work.
class nString {
public:
    static constexpr size_t InlineSize = 14;  // texts shorter than this stay inline

    nString() = default;
    nString(const char* text) { Set(text); }  // implicit: names are passed as literals
    nString(const char* text, size_t len) { Set(text, len); }
    nString(const nString& other) { Set(other.Get(), other.Length()); }
    nString(nString&& other) noexcept;
    ~nString() { Clear(); }

    nString& operator=(const nString& other);
    nString& operator=(nString&& other) noexcept;
    nString& operator=(const char* text) {
        Set(text);
        return *this;
    }

    // Replaces the text; null empties the string.
    void Set(const char* text);
    // Replaces the text by the first `len` bytes of `text`.
    void Set(const char* text, size_t len);
    // The text; never null ("" when empty).
    const char* Get() const { return heap_ ? heap_ : inline_; }
    size_t Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    void Clear();

    void Append(const char* text);
    void Append(const char* text, size_t len);
    void Append(const nString& other) { Append(other.Get(), other.Length()); }
    nString& operator+=(const char* text) {
        Append(text);
        return *this;
    }
    nString& operator+=(const nString& other) {
        Append(other);
        return *this;
    }

    // Replaces every '\' by '/'.
    void ConvertBackslashes();
    // Lower-cases ASCII letters in place.
    void ToLower();

    // The text before the last '/' (else '\', else ':'); the whole text when it has none.
    nString ExtractDirName() const;
    // The text after the last '/' (else '\', else ':'); the whole text when it has none.
    nString ExtractFileName() const;

    // printf-style formatting into a new string.
    static nString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    friend bool operator==(const nString& a, const nString& b);
    friend bool operator==(const nString& a, const char* b);
    friend bool operator<(const nString& a, const nString& b);

private:
    // Position of the separator that splits directory and file part, or npos.
    size_t LastSeparator() const;

    char* heap_ = nullptr;
    char inline_[InlineSize] = {};
    size_t length_ = 0;
};

nString operator+(const nString& a, const char* b);
