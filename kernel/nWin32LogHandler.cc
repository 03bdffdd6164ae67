#include "kernel/nWin32LogHandler.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nTimeServer.h"
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
    if (!logFile_) return;
    // The last counts are written, also after a text that did not end its line.
    for (const Repeat& r : repeats_) {
        if (r.count > 0 && !atLineStart_) Write("\n", 1);
    }
    WriteCounts(true, 0.0);
    std::fclose(logFile_);
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

// Also when the clock went back (another clock was set).
bool Due(double written, double now) {
    return !(now - written < nWin32LogHandler::RepeatSeconds && now >= written);
}
}  // namespace

void nWin32LogHandler::Write(const char* text, size_t length) {
    if (length == 0) return;
    std::fwrite(text, 1, length, logFile_);
    std::fflush(logFile_);
    atLineStart_ = text[length - 1] == '\n';
}

void nWin32LogHandler::WriteCounts(bool all, double now) {
    for (Repeat& r : repeats_) {
        if (r.count == 0 || (!all && !Due(r.written, now))) continue;
        // Mid-line (a text without its line feed came last) the count waits.
        if (!atLineStart_) return;
        const size_t firstLine = r.text.find('\n');
        std::fprintf(logFile_, "%.*s (repeated %d %s)\n", int(firstLine), r.text.c_str(), r.count,
                     r.count == 1 ? "time" : "times");
        std::fflush(logFile_);
        r.count = 0;
        r.written = now;
    }
}

void nWin32LogHandler::ToFile(const char* fmt, va_list args, bool countRepeats) {
    if (!logFile_) return;
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return;
    // Grows to the longest text once; later texts reuse its room.
    text_.resize(size_t(n));
    va_copy(copy, args);
    std::vsnprintf(text_.data(), size_t(n) + 1, fmt, copy);
    va_end(copy);

    double now = 0.0;
    const bool timed = ClockNow(now);
    if (timed) WriteCounts(false, now);
    const bool wholeLine = atLineStart_ && text_.back() == '\n';
    if (!countRepeats || !timed || !wholeLine) {
        WriteCounts(true, now);
        Write(text_.data(), text_.size());
        return;
    }
    Repeat* slot = nullptr;
    for (Repeat& r : repeats_) {
        if (r.text == text_) {
            slot = &r;
            break;
        }
    }
    if (slot) {
        slot->seen = now;
        if (!Due(slot->written, now)) {
            slot->count++;
            return;
        }
    } else {
        // A line not seen lately: the counts so far come before it, and it takes the slot
        // seen longest ago.
        WriteCounts(true, now);
        slot = &repeats_[0];
        for (Repeat& r : repeats_) {
            if (r.text.empty()) {
                slot = &r;
                break;
            }
            if (r.seen < slot->seen) slot = &r;
        }
        slot->text = text_;
        slot->count = 0;
        slot->seen = now;
    }
    slot->written = now;
    Write(text_.data(), text_.size());
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
    if (!IsOffScreen() && !ToGame(fmt, args)) ToBox(fmt, args, false);
}

void nWin32LogHandler::Error(const char* fmt, va_list args) {
    ToFile(fmt, args);
    Output(fmt, args);
    if (!IsOffScreen() && !ToGame(fmt, args)) ToBox(fmt, args, true);
}

void nWin32LogHandler::Fatal(const char* fmt, va_list args) {
    ToFile(fmt, args, false);
    Output(fmt, args);
    ToBox(fmt, args, true, true);
}
