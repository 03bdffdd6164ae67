#pragma once
#include "kernel/nLineBuffer.h"
#include "kernel/nLogHandler.h"

// The kernel's own handler: every text goes to standard output and, cut to 1022
// characters ("[...]\n" marks a cut), into the line buffer.
class nDefaultLogHandler : public nLogHandler {
public:
    static constexpr int BufferSize = 1024;

    void Print(const char* fmt, va_list args) override;
    void Message(const char* fmt, va_list args) override;
    void Error(const char* fmt, va_list args) override;
    nLineBuffer* GetLineBuffer() override { return &lineBuffer_; }

protected:
    // Formats into `buf` of `size` bytes; a text that does not fit ends in "[...]\n".
    static void FormatCut(char* buf, int size, const char* fmt, va_list args);
    void Output(const char* fmt, va_list args);

private:
    nLineBuffer lineBuffer_;
    char buffer_[BufferSize];
};
