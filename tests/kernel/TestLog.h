#pragma once
// A log handler that keeps every text it is given, so tests can check what was reported.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/nLogHandler.h"

class nTestLog : public nLogHandler {
public:
    void Print(const char* fmt, va_list args) override {
        lines.push_back(Format(fmt, args));
        printed += lines.back();
        text += lines.back();
    }
    void Message(const char* fmt, va_list args) override { text += Format(fmt, args); }
    void Error(const char* fmt, va_list args) override {
        errors.push_back(Format(fmt, args));
        text += errors.back();
        if (!IsOffScreen()) shown.push_back(errors.back());
    }
    // True when an error was logged since the last call; forgets the errors.
    bool TakeErrors() {
        const bool any = !errors.empty();
        errors.clear();
        return any;
    }
    static std::string Format(const char* fmt, va_list args) {
        va_list copy;
        va_copy(copy, args);
        const int n = std::vsnprintf(nullptr, 0, fmt, copy);
        va_end(copy);
        std::string s(n > 0 ? size_t(n) : 0, '\0');
        if (n > 0) std::vsnprintf(s.data(), s.size() + 1, fmt, args);
        return s;
    }

    std::vector<std::string> lines;   // each Print
    std::vector<std::string> errors;  // each Error
    std::vector<std::string> shown;   // each Error that a game's screen would show
    std::string printed;              // the Print texts run together
    std::string text;                 // every text run together
};
