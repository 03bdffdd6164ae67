#pragma once
#include <cstdio>
#include <string>

#include "kernel/nDefaultLogHandler.h"
#include "kernel/nString.h"

// The application's handler: everything the default handler does, plus the log file
// "<appName>.log" beside the executable (emptied at start, flushed after every text,
// nothing cut), and message boxes captioned with the application name for Message,
// Error and Fatal (standard error where no display exists). While the frame loop runs
// Message and Error go to its play display instead: a box would stop the game.
// A whole line that comes again within RepeatSeconds of being written (by the time
// server's clock) is counted instead of written; the count goes into the file as
// "<first line> (repeated N times)" once that time has passed, before a line not seen
// lately, and when the handler closes, so that an error of every frame cannot flood it.
class nWin32LogHandler : public nDefaultLogHandler {
public:
    static constexpr int BoxBufferSize = 2048;
    static constexpr double RepeatSeconds = 5.0;
    // Distinct lines watched for repeats at once (several errors may alternate each frame).
    static constexpr int RepeatSlots = 8;

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
    // A line that repeats one written lately.
    struct Repeat {
        std::string text;
        int count = 0;  // times seen since it or its count was last written
        double written = 0.0;
        double seen = 0.0;
    };

    // `countRepeats` false writes the text whatever came before (a fatal stop's last words).
    void ToFile(const char* fmt, va_list args, bool countRepeats = true);
    void Write(const char* text, size_t length);
    // Writes the counts of the repeats that are due at `now`, or all of them (`all`).
    void WriteCounts(bool all, double now);
    // A fatal box first takes the game's window out of full screen and out of sight.
    void ToBox(const char* fmt, va_list args, bool isError, bool fatal = false);
    // Hands the text, without its final line feeds, to the play display; false when the
    // frame loop does not run.
    bool ToGame(const char* fmt, va_list args);

    nString appName_;
    nString logFileName_;
    FILE* logFile_ = nullptr;
    std::string text_;
    bool atLineStart_ = true;
    Repeat repeats_[RepeatSlots];
};
