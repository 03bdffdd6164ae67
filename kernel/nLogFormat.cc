#include "kernel/nLogFormat.h"

#include <poll.h>

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

// A bounded buffer or a stream.
struct Out {
    char* buf = nullptr;
    size_t size = 0;
    FILE* stream = nullptr;
    size_t length = 0;

    void Put(char c) {
        if (stream) std::fputc(c, stream);
        else if (length + 1 < size) buf[length] = c;
        length++;
    }
    void Put(const char* s, size_t n) {
        for (size_t i = 0; i < n; i++) Put(s[i]);
    }
    void Hex(uint8_t c) {
        static const char hex[] = "0123456789abcdef";
        Put('\\');
        Put('x');
        Put(hex[c >> 4]);
        Put(hex[c & 15]);
    }
    // The quoted text's character at `s` (of `avail` bytes); the bytes it took.
    size_t Quote(const char* s, size_t avail) {
        const uint8_t c = uint8_t(s[0]);
        if (c >= 0x80) {
            // UTF-8's controls (U+0080 to U+009F) and bytes of no whole character, which an
            // 8-bit terminal may take as controls, show byte by byte; so do the separators a
            // viewer breaks lines at and the controls that reverse the rest of a line.
            const size_t n = nLogFormat::CharLength(s, avail);
            const bool control = nLogFormat::IsControl(s, n);
            for (size_t k = 0; k < (n == 0 ? 1 : n); k++) {
                if (n == 0 || control) Hex(uint8_t(s[k]));
                else Put(s[k]);
            }
            return n == 0 ? 1 : n;
        }
        if (c >= 0x20 && c != 0x7F) {
            Put(char(c));
            return 1;
        }
        if (c != '\n' && c != '\r' && c != '\t') {
            Hex(c);
            return 1;
        }
        Put('\\');
        switch (c) {
            case '\n': Put('n'); break;
            case '\r': Put('r'); break;
            default: Put('t'); break;
        }
        return 1;
    }
};

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\''; }

int Run(Out& out, const char* fmt, va_list args) {
    va_list ap;
    va_copy(ap, args);
    bool known = true;
    const char* f = fmt;
    while (*f) {
        if (*f != '%') {
            out.Put(*f++);
            continue;
        }
        if (f[1] == '%') {
            out.Put('%');
            f += 2;
            continue;
        }
        // The conversion is rebuilt with '*' widths and precisions as numbers, for snprintf.
        char conversion[64];
        size_t s = 0;
        conversion[s++] = *f++;
        bool left = false;
        while (IsFlag(*f) && s < 16) {
            left = left || *f == '-';
            conversion[s++] = *f++;
        }
        int width = -1, precision = -1;
        if (*f == '*') {
            width = va_arg(ap, int);
            if (width < 0) {
                left = true;
                conversion[s++] = '-';
                width = -width;
            }
            f++;
        } else if (*f >= '0' && *f <= '9') {
            width = 0;
            while (*f >= '0' && *f <= '9' && width < 100000) width = width * 10 + (*f++ - '0');
        }
        if (width >= 0) s += size_t(std::snprintf(conversion + s, 12, "%d", width));
        if (*f == '.') {
            f++;
            if (*f == '*') {
                precision = va_arg(ap, int);
                f++;
            } else {
                precision = 0;
                while (*f >= '0' && *f <= '9' && precision < 100000) precision = precision * 10 + (*f++ - '0');
            }
            if (precision >= 0) s += size_t(std::snprintf(conversion + s, 13, ".%d", precision));
        }
        char length[3] = {};
        for (int k = 0; k < 2 && (*f == 'h' || *f == 'l' || *f == 'j' || *f == 'z' || *f == 't' || *f == 'L' || *f == 'q');
             k++) {
            length[k] = *f;
            conversion[s++] = *f++;
            if (length[0] != 'h' && length[0] != 'l') break;
            if (*f != length[0]) break;
        }
        const char conv = *f;
        if (!conv) break;
        f++;
        conversion[s++] = conv;
        conversion[s] = 0;
        const bool ll = (length[0] == 'l' && length[1] == 'l') || length[0] == 'q';
        char number[512];
        int n = 0;
        switch (conv) {
            case 'd':
            case 'i':
                if (ll) n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, long long));
                else if (length[0] == 'l') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, long));
                else if (length[0] == 'j') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, intmax_t));
                else if (length[0] == 'z') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, ptrdiff_t));
                else if (length[0] == 't') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, ptrdiff_t));
                else n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, int));
                break;
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                if (ll) n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, unsigned long long));
                else if (length[0] == 'l') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, unsigned long));
                else if (length[0] == 'j') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, uintmax_t));
                else if (length[0] == 'z') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, size_t));
                else if (length[0] == 't') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, size_t));
                else n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, unsigned));
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                if (length[0] == 'L') n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, long double));
                else n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, double));
                break;
            case 'p':
                n = std::snprintf(number, sizeof(number), conversion, va_arg(ap, void*));
                break;
            case 'n':
                // Writes nothing: a log line never stores through its arguments.
                (void)va_arg(ap, void*);
                break;
            case 'c':
            case 's': {
                char c = 0;
                const char* text = nullptr;
                size_t bytes = 0;
                if (conv == 'c') {
                    // A wide character is not text of ours: shown by its code's low byte.
                    c = length[0] == 'l' ? char(va_arg(ap, wint_t)) : char(va_arg(ap, int));
                    text = &c;
                    bytes = 1;
                } else if (length[0] == 'l') {
                    (void)va_arg(ap, const wchar_t*);
                    text = "(wide)";
                    bytes = 6;
                } else {
                    text = va_arg(ap, const char*);
                    if (!text) text = "(null)";
                    bytes = precision >= 0 ? strnlen(text, size_t(precision)) : std::strlen(text);
                }
                const size_t pad = width > 0 && size_t(width) > bytes ? size_t(width) - bytes : 0;
                if (!left) {
                    for (size_t k = 0; k < pad; k++) out.Put(' ');
                }
                for (size_t k = 0; k < bytes;) {
                    // The text's last line feed ends the line when the whole text ends with it.
                    if (text[k] == '\n' && k + 1 == bytes && !*f && !left) {
                        out.Put('\n');
                        k++;
                    } else {
                        k += out.Quote(text + k, bytes - k);
                    }
                }
                if (left) {
                    for (size_t k = 0; k < pad; k++) out.Put(' ');
                }
                break;
            }
            default:
                known = false;
                break;
        }
        if (!known) break;
        if (n > 0) out.Put(number, size_t(n) < sizeof(number) ? size_t(n) : sizeof(number) - 1);
    }
    va_end(ap);
    (void)known;
    return int(out.length);
}

}  // namespace

size_t nLogFormat::CharLength(const char* s, size_t avail) {
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

bool nLogFormat::IsControl(const char* s, size_t n) {
    const uint8_t a = n > 0 ? uint8_t(s[0]) : 0, b = n > 1 ? uint8_t(s[1]) : 0, c = n > 2 ? uint8_t(s[2]) : 0;
    if (n == 2) return a == 0xC2 && b < 0xA0;
    if (n != 3 || a != 0xE2) return false;
    return (b == 0x80 && c >= 0xA8 && c <= 0xAE) || (b == 0x81 && c >= 0xA6 && c <= 0xA9);
}

int nLogFormat::Format(char* out, size_t size, const char* fmt, va_list args) {
    Out o;
    o.buf = out;
    o.size = size;
    const int n = Run(o, fmt ? fmt : "", args);
    if (size > 0) out[o.length < size ? o.length : size - 1] = 0;
    return n;
}

bool nLogFormat::TakesALine(FILE* stream) {
    pollfd out{fileno(stream), POLLOUT, 0};
    return poll(&out, 1, 0) == 1 && (out.revents & POLLOUT) && !(out.revents & (POLLERR | POLLNVAL));
}

void nLogFormat::Write(FILE* stream, const char* fmt, va_list args) {
    Out o;
    o.stream = stream;
    Run(o, fmt ? fmt : "", args);
}
