#include "kernel/nWin32LogHandler.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nLogFormat.h"
#include "kernel/nTimeServer.h"
#include "platform/system/Disk.h"
#include "platform/system/System.h"

nWin32LogHandler::nWin32LogHandler(const char* appName) : appName_(appName), limiter_(&ToStream, this) {
    nString exe(sys::ExecutablePath().c_str());
    nString path = exe.ExtractDirName();
    path += "/";
    path += appName_;
    path += ".log";
    // Made new each run: a link or anything else under the log's name is taken away, so the
    // log is never written through it.
    const int fd = sys::Disk::Open(path.Get(), sys::Disk::Access::Fresh);
    logFile_ = fd >= 0 ? fdopen(fd, "w") : nullptr;
    if (!logFile_) sys::Disk::Close(fd);
    if (logFile_) logFileName_ = path;
}

nWin32LogHandler::~nWin32LogHandler() {
    limiter_.Close();
    if (logFile_) std::fclose(logFile_);
}

namespace {
// Seconds on the time server's clock; false without a time server.
bool ClockNow(double& now) {
    nKernelServer* k = nKernelServer::ks;
    nTimeServer* ts = k ? k->GetTimeServer() : nullptr;
    if (!ts) return false;
    now = double(ts->GetTicks()) / double(ts->GetFrequency());
    return true;
}
}  // namespace

void nWin32LogHandler::ToStream(void* self, const char* text, size_t length) {
    auto* handler = static_cast<nWin32LogHandler*>(self);
    // Standard output gets what it takes at once; the log file keeps every line, and standard
    // output is told how many it missed once it takes lines again.
    if (nLogFormat::TakesALine(stdout)) {
        if (handler->unwritten_ > 0) {
            std::fprintf(stdout, "... %llu lines not written here (in the log file)\n", handler->unwritten_);
            handler->unwritten_ = 0;
        }
        std::fwrite(text, 1, length, stdout);
        std::fflush(stdout);
    } else {
        handler->unwritten_++;
    }
    if (!handler->logFile_) return;
    std::fwrite(text, 1, length, handler->logFile_);
    std::fflush(handler->logFile_);
}

const char* nWin32LogHandler::Log(const char* fmt, va_list args, bool last) {
    const char* text = limiter_.Cut(fmt, args);
    GetLineBuffer()->Put(text);
    if (last) {
        limiter_.PutLast();
    } else {
        double now = 0.0;
        const bool timed = ClockNow(now);
        limiter_.Put(now, timed);
    }
    return text;
}

void nWin32LogHandler::ToBox(const char* text, bool isError, bool fatal) {
    // The box's text is the log's: without a display it goes to standard error, where
    // control characters would act on the terminal.
    char buf[nLogLimiter::MaxText + 64];
    std::snprintf(buf, sizeof(buf), "%s", text);
    if (IsEnding()) {
        // Quitting: no box; standard error only when it takes the text now (the log has it).
        if (nLogFormat::TakesALine(stderr)) std::fprintf(stderr, "%s: %s", appName_.Get(), buf);
    }
    else if (fatal) sys::ShowFatalBox(appName_.Get(), buf);
    else sys::ShowMessageBox(appName_.Get(), buf, isError);
}

bool nWin32LogHandler::ToGame(const char* text) {
    PlayDisplay show = GetPlayDisplay();
    if (!show) return false;
    char buf[nLogLimiter::MaxText + 64];
    size_t n = std::strlen(text);
    if (n >= sizeof(buf)) n = sizeof(buf) - 1;
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r')) n--;
    std::memcpy(buf, text, n);
    buf[n] = 0;
    show(GetPlayContext(), buf);
    return true;
}

void nWin32LogHandler::Print(const char* fmt, va_list args) { Log(fmt, args); }

void nWin32LogHandler::Message(const char* fmt, va_list args) {
    const char* text = Log(fmt, args);
    if (!IsOffScreen() && !ToGame(text)) ToBox(text, false);
}

void nWin32LogHandler::Error(const char* fmt, va_list args) {
    const char* text = Log(fmt, args);
    if (!IsOffScreen() && !ToGame(text)) ToBox(text, true);
}

void nWin32LogHandler::Fatal(const char* fmt, va_list args) { ToBox(Log(fmt, args, true), true, true); }
