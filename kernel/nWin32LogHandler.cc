#include "kernel/nWin32LogHandler.h"

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

void nWin32LogHandler::ToBox(const char* fmt, va_list args, bool isError) {
    char buf[BoxBufferSize];
    FormatCut(buf, BoxBufferSize, fmt, args);
    sys::ShowMessageBox(appName_.Get(), buf, isError);
}

void nWin32LogHandler::Print(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
}

void nWin32LogHandler::Message(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
    ToBox(fmt, args, false);
}

void nWin32LogHandler::Error(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
    ToBox(fmt, args, true);
}
