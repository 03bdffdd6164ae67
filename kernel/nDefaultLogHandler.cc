#include "kernel/nDefaultLogHandler.h"

#include <cstdio>
#include <cstring>

#include "kernel/nLogFormat.h"

void nDefaultLogHandler::FormatCut(char* buf, int size, const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int limit = size - 2;  // at most size - 2 characters of text
    int n = nLogFormat::Format(buf, static_cast<size_t>(limit) + 1, fmt, copy);
    va_end(copy);
    if (n < 0) {
        buf[0] = 0;
    } else if (n > limit) {
        // The last seven bytes become "[...]", a line feed and the terminating zero; a
        // character whose UTF-8 they cut goes whole.
        int end = size - 7;
        int lead = end;
        while (lead > 0 && end - lead < 4 && (static_cast<unsigned char>(buf[lead - 1]) & 0xC0) == 0x80) lead--;
        if (lead > 0) {
            const unsigned char c = static_cast<unsigned char>(buf[lead - 1]);
            const int need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (end - (lead - 1) < need) end = lead - 1;
        }
        std::memcpy(buf + end, "[...]\n", 7);
    }
}

void nDefaultLogHandler::Output(const char* fmt, va_list args) {
    // Standard output only when it takes the line now: the line buffer keeps it anyway.
    if (nLogFormat::TakesALine(stdout)) {
        va_list copy;
        va_copy(copy, args);
        nLogFormat::Write(stdout, fmt, copy);
        va_end(copy);
        std::fflush(stdout);
    }
    FormatCut(buffer_, BufferSize, fmt, args);
    lineBuffer_.Put(buffer_);
}

void nDefaultLogHandler::Print(const char* fmt, va_list args) { Output(fmt, args); }
void nDefaultLogHandler::Message(const char* fmt, va_list args) { Output(fmt, args); }
void nDefaultLogHandler::Error(const char* fmt, va_list args) { Output(fmt, args); }
