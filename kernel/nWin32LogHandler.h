#pragma once
#include <cstdio>

#include "kernel/nDefaultLogHandler.h"
#include "kernel/nString.h"

// The application's handler: everything the default handler does, plus the log file
// "<appName>.log" beside the executable (emptied at start, flushed after every text,
// nothing cut), and message boxes captioned with the application name for Message,
// Error and Fatal (standard error where no display exists). While the frame loop runs
// Message and Error go to its play display instead: a box would stop the game.
class nWin32LogHandler : public nDefaultLogHandler {
public:
    static constexpr int BoxBufferSize = 2048;

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
    void ToFile(const char* fmt, va_list args);
    // A fatal box first takes the game's window out of full screen and out of sight.
    void ToBox(const char* fmt, va_list args, bool isError, bool fatal = false);
    // Hands the text, without its final line feeds, to the play display; false when the
    // frame loop does not run.
    bool ToGame(const char* fmt, va_list args);

    nString appName_;
    nString logFileName_;
    FILE* logFile_ = nullptr;
};
