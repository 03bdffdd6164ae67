#pragma once
#include <cstdarg>

class nLineBuffer;

// Receives every diagnostic text of the program: Print for log lines, Message for texts
// the user must see, Error for errors. The base does nothing.
class nLogHandler {
public:
    virtual ~nLogHandler() = default;
    virtual void Print(const char* fmt, va_list args) { (void)fmt, (void)args; }
    virtual void Message(const char* fmt, va_list args) { (void)fmt, (void)args; }
    virtual void Error(const char* fmt, va_list args) { (void)fmt, (void)args; }
    // The recent lines, for the console and tools; null when the handler keeps none.
    virtual nLineBuffer* GetLineBuffer() { return nullptr; }
};
