#include "kernel/nWin32LogHandler.h"

#include <cstring>

#include "platform/system/System.h"

nWin32LogHandler::nWin32LogHandler(const char* appName) : appName_(appName) {
    nString exe(sys::ExecutablePath().c_str());
    nString path = exe.ExtractDirName();
    path += "/";
    path += appName_;
    path += ".log";
    logFile_ = std::fopen(path.Get(), "w");
    if (logFile_) logFileName_ = path;
}

nWin32LogHandler::~nWin32LogHandler() {
    if (logFile_) std::fclose(logFile_);
}

void nWin32LogHandler::ToFile(const char* fmt, va_list args) {
    if (!logFile_) return;
    va_list copy;
    va_copy(copy, args);
    std::vfprintf(logFile_, fmt, copy);
    va_end(copy);
    std::fflush(logFile_);
}

void nWin32LogHandler::ToBox(const char* fmt, va_list args, bool isError, bool fatal) {
    char buf[BoxBufferSize];
    FormatCut(buf, BoxBufferSize, fmt, args);
    if (fatal) sys::ShowFatalBox(appName_.Get(), buf);
    else sys::ShowMessageBox(appName_.Get(), buf, isError);
}

bool nWin32LogHandler::ToGame(const char* fmt, va_list args) {
    PlayDisplay show = GetPlayDisplay();
    if (!show) return false;
    char buf[BoxBufferSize];
    FormatCut(buf, BoxBufferSize, fmt, args);
    size_t n = std::strlen(buf);
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) buf[--n] = 0;
    show(GetPlayContext(), buf);
    return true;
}

void nWin32LogHandler::Print(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
}

void nWin32LogHandler::Message(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
    if (!ToGame(fmt, args)) ToBox(fmt, args, false);
}

void nWin32LogHandler::Error(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
    if (!ToGame(fmt, args)) ToBox(fmt, args, true);
}

void nWin32LogHandler::Fatal(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
    ToBox(fmt, args, true, true);
}
