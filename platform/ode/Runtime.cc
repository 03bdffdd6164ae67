#include "platform/ode/Runtime.h"

#include <ode/ode.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace ode {

namespace {
void (*messageSink)(const char*) = nullptr;

void End() {
    dCloseODE();
}

void Message(int num, const char* fmt, va_list args) {
    if (!messageSink) return;
    char text[512];
    int n = std::snprintf(text, sizeof(text), "ODE message %d: ", num);
    std::vsnprintf(text + n, sizeof(text) - size_t(n), fmt, args);
    messageSink(text);
}
}  // namespace

void SetMessageSink(void (*sink)(const char* text)) {
    messageSink = sink;
}

void Start() {
    static bool started = false;
    if (started) return;
    started = true;
    dInitODE2(0);
    dAllocateODEDataForThread(dAllocateMaskAll);
    // Without a handler ODE prints its warnings to stderr.
    dSetMessageHandler(Message);
    std::atexit(End);
}

}  // namespace ode
