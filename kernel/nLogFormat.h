#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdio>

// printf for log texts: what a text quotes (the strings and characters its %s and %c put
// in, which may come from a save, a movie, a file name or any data) shows its control
// characters as escapes ("\n", "\r", "\t", "\x1b" and so on; UTF-8's controls, its line and
// paragraph separators, its bidirectional controls and bytes of no whole UTF-8 character too,
// byte by byte as "\x9b" or "\xe2\x80\xa8"), so that quoted text can neither start a line of
// the log, nor turn how the rest of a line shows, nor act on a terminal. The format's own line breaks stay,
// and so does a line feed that ends the whole text, wherever it came from. Every log text
// the engine writes is formatted here; nothing is allocated.
class nLogFormat {
public:
    // As vsnprintf: at most size - 1 bytes and a zero into `out`; the length of the whole
    // text. A conversion it does not know ends the text there.
    static int Format(char* out, size_t size, const char* fmt, va_list args);
    // The whole text to `stream`.
    static void Write(FILE* stream, const char* fmt, va_list args);
    // Whether `stream` takes a line now: a pipe that nobody reads, a stopped terminal or a
    // closed descriptor would hold the writing thread for good.
    static bool TakesALine(FILE* stream);
    // Bytes of the UTF-8 character that starts `s` (at most `avail` bytes), 0 when it
    // starts none: a stray continuation byte, an overlong form, a surrogate, a cut sequence.
    static size_t CharLength(const char* s, size_t avail);
    // Whether the whole UTF-8 character of `n` bytes at `s` (as CharLength measured it) acts
    // on the lines rather than showing: C1 controls (U+0080-U+009F), the line and paragraph
    // separators (U+2028, U+2029), the bidirectional controls (U+202A-U+202E, U+2066-U+2069).
    static bool IsControl(const char* s, size_t n);
};
