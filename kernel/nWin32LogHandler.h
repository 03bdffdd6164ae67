#pragma once
#include <cstdio>

#include "kernel/nDefaultLogHandler.h"
#include "kernel/nLogLimiter.h"
#include "kernel/nString.h"

// The application's handler: every text goes to standard output (as far as it takes
// texts without waiting) and to the log file
// "<appName>.log" beside the executable (emptied at start, flushed after every text) as
// one stream that nLogLimiter bounds: lines cut, repeats counted (by the time server's
// clock) as "<first line> (repeated N times)", a size cap that the file's last line
// accounts for. The line buffer gets each text as cut. Message, Error and Fatal also
// show, as cut, in message boxes captioned with the application name (standard error
// where no display exists); while the frame loop runs Message and Error go to its play
// display instead, since a box would stop the game; once the program ends they go to
// standard error instead of a box, fatal ones too.
class nWin32LogHandler : public nDefaultLogHandler {
public:
    explicit nWin32LogHandler(const char* appName);
    ~nWin32LogHandler() override;

    void Print(const char* fmt, va_list args) override;
    void Message(const char* fmt, va_list args) override;
    void Error(const char* fmt, va_list args) override;
    void Fatal(const char* fmt, va_list args) override;

    const char* GetAppName() const { return appName_.Get(); }
    // Full name of the log file ("" when it could not be opened).
    const char* GetLogFileName() const { return logFileName_.Get(); }

private:
    static void ToStream(void* self, const char* text, size_t length);
    // Cuts the text, hands it to the line buffer and the stream; `last` writes it past
    // the stream's bounds (a fatal stop's last words). Returns the cut text.
    const char* Log(const char* fmt, va_list args, bool last = false);
    // Shows a cut text in a box; a fatal box first takes the game's window out of full
    // screen and out of sight.
    void ToBox(const char* text, bool isError, bool fatal = false);
    // Hands the cut text, without its final line feeds, to the play display; false when
    // the frame loop does not run.
    bool ToGame(const char* text);

    nString appName_;
    nString logFileName_;
    FILE* logFile_ = nullptr;
    unsigned long long unwritten_ = 0;  // lines that standard output did not take
    nLogLimiter limiter_;
};
